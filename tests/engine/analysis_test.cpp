// The result model: lines agree with the listing, regions cover the image,
// references point at the labels they name, on every sample and on junk.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>

#include "brevin/engine.h"
#include "brevin/text.h"
#include "engine_probe.h"
#include "test_support.h"

namespace brevin {
namespace {

using test::ScriptedHost;

const std::string kData = BREVIN_TEST_DATA;

// The model of a sample image with the default options; null when it was not listed.
AnalysisPtr AnalyseSample(const std::string& file) {
  ScriptedHost host;
  host.options.InhibitWarnings = true;
  Engine e(host);
  const LoadResult r = e.LoadAndDisassemble(kData + "/" + file, false);
  return r.status == LoadStatus::Listed ? r.analysis : nullptr;
}

std::vector<std::string> SampleImages() {
  std::vector<std::string> images;
  for (const auto& entry : std::filesystem::directory_iterator(kData)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".binary" || ext == ".eeprom") images.push_back(entry.path().string());
  }
  std::sort(images.begin(), images.end());
  return images;
}

// Checks every property the model promises; returns the first problem or "".
std::string CheckModel(const Analysis& a) {
  std::string joined;
  for (const ListingLine& line : a.lines) joined.append(line.text).append("\r\n");
  if (joined != a.listing) return "lines do not join to the listing";
  // Line texts are views into the model's own listing, each at its place.
  const char* place = a.listing.data();
  for (const ListingLine& line : a.lines) {
    if (line.text.data() != place) return "a line does not view its place in the model's listing";
    place += line.text.size() + 2;
  }

  if (a.regions.empty() || a.regions.front().start != 0 || a.regions.back().end != kImageSize) {
    return "regions do not span $0000-$7FFF";
  }
  for (std::size_t i = 0; i < a.regions.size(); ++i) {
    if (a.regions[i].start >= a.regions[i].end) return "empty region at " + std::to_string(a.regions[i].start);
    if (i > 0 && a.regions[i].start != a.regions[i - 1].end) return "gap or overlap before region " + std::to_string(i);
  }

  std::map<std::string, const Symbol*> symbols;
  for (const Symbol& s : a.symbols) symbols[s.name] = &s;
  std::set<std::string> defined;
  for (const ListingLine& line : a.lines) {
    if (line.defines) defined.insert(*line.defines);
  }
  for (const ListingLine& line : a.lines) {
    for (const LineReference& ref : line.refs) {
      if (ref.end > line.text.size() || line.text.substr(ref.start, ref.end - ref.start) != ref.name) {
        return "span is not the name in: " + std::string(line.text);
      }
      const auto it = symbols.find(ref.name);
      if (it == symbols.end() || it->second->address != ref.target) return "wrong target in: " + std::string(line.text);
      if (!InImage(ref.target)) return "target outside the image in: " + std::string(line.text);
      if (!defined.count(ref.name)) return "reference to an undefined label in: " + std::string(line.text);
      const auto& from = it->second->referencedFrom;
      if (line.address && !std::binary_search(from.begin(), from.end(), *line.address)) {
        return ref.name + " misses the reference from " + std::to_string(*line.address);
      }
    }
  }
  // Kinds and spans: what the writer recorded matches what the text shows.
  for (const ListingLine& line : a.lines) {
    const std::string at = ": " + std::string(line.text);
    auto cut = [&](ListingLine::Span span) { return line.text.substr(std::min<std::size_t>(span.start, line.text.size()), span.length); };
    for (ListingLine::Span span : {line.hubSpan, line.cogSpan, line.bytesSpan, line.conditionSpan, line.mnemonicSpan,
                                   line.operandsSpan, line.commentSpan}) {
      if (span.start + span.length > line.text.size()) return "span past the end" + at;
    }
    // A source line is a comment; on image listings it shows "====" for an address.
    const bool equals = line.text.starts_with("====") && line.textStart != std::string::npos;
    if (line.kind == LineKind::Source) {
      if (line.textStart == std::string::npos || !line.text.substr(line.textStart).starts_with(";")) return "source kind" + at;
      if (!a.bytecodeListing && !equals) return "source kind" + at;
    } else if (equals) {
      return "source kind" + at;
    }
    const bool dashes = line.labelEnd > line.labelStart && line.text.substr(line.labelStart).starts_with("; ----");
    if ((line.kind == LineKind::Unreached) != dashes) return "unreached kind" + at;
    if (line.kind == LineKind::Text && (line.address || line.textStart != std::string::npos)) return "text kind" + at;
    // Instructions, guesses and the data longs of assembly blocks stand for image bytes.
    if (line.size != 0 && line.kind != LineKind::Code && line.kind != LineKind::Unreached && line.kind != LineKind::Data) {
      return "sized line of kind " + std::to_string(static_cast<int>(line.kind)) + at;
    }
    if ((line.kind == LineKind::Data || line.kind == LineKind::Directive) && line.textStart != std::string::npos &&
        line.text.find_first_not_of(' ', line.textStart) != std::string::npos && line.mnemonic().empty()) {
      return "no directive" + at;
    }
    // A comment the writer did not mark would be coloured as operands.
    if (line.kind != LineKind::Source && line.operands().find(" ;") != std::string_view::npos) return "unmarked comment" + at;
    if (line.mnemonicSpan.length != 0 && line.operandsSpan.length != 0 &&
        line.operandsSpan.start < line.mnemonicSpan.start + line.mnemonicSpan.length + 1) {
      return "operands overlap the mnemonic" + at;
    }
    if (line.hubSpan.length != 0 && (!line.address || cut(line.hubSpan) != Hex4(*line.address))) return "hub span" + at;
    if (line.cogSpan.length != 0 && (!line.cog || cut(line.cogSpan) != Hex3(*line.cog))) return "cog span" + at;
    if (line.commentSpan.length != 0) {
      if (!cut(line.commentSpan).starts_with(";")) return "comment span" + at;
      if (line.operandsSpan.start + line.operandsSpan.length > line.commentSpan.start) return "operands run into the comment" + at;
    }
    if (line.bytesSpan.length != 0 && cut(line.bytesSpan).find_first_not_of("0123456789ABCDEF ") != std::string::npos) {
      return "bytes span" + at;
    }
  }
  return {};
}

// Callers see options in and the model out; the working state is not theirs to reach.
template <typename T>
concept ReachesWorkingState = requires(T& e) { e.Listing; } || requires(T& e) { e.Image; } ||
                              requires(T& e) { e.SymbolIds; } || requires(T& e) { e.LineLabel; } ||
                              requires(T& e) { e.SetFlag(0, 0u); } || requires(T& e) { e.FormatLine(); };
static_assert(!ReachesWorkingState<Engine>);
static_assert(ReachesWorkingState<test::EngineProbe>);  // the check itself can see members

TEST(Analysis, EverySampleGivesAConsistentModel) {
  const auto images = SampleImages();
  ASSERT_GE(images.size(), 40u);
  ScriptedHost host;
  host.options.InhibitWarnings = true;
  host.options.SymbolTable = true;
  Engine e(host);
  for (const std::string& path : images) {
    const LoadResult r = e.LoadAndDisassemble(path, false);
    ASSERT_EQ(r.status, LoadStatus::Listed) << path;
    ASSERT_TRUE(r.analysis) << path;
    const Analysis& a = *r.analysis;
    EXPECT_EQ(CheckModel(a), "") << path;
    EXPECT_EQ(a.regions.front().kind, RegionKind::Header) << path;
    EXPECT_EQ(a.regions.front().end, 0x10) << path;
    // Each method's label line is found, and the top object is the first.
    ASSERT_FALSE(a.objects.empty()) << path;
    EXPECT_EQ(a.objects.front().address, a.image.pbase) << path;
    EXPECT_TRUE(a.image.checksumOk) << path;
  }
}

TEST(Analysis, MethodsAsmBlocksAndSourceNamesOfASampleWithSubObjects) {
  const AnalysisPtr model = AnalyseSample("adc_scope.eeprom");
  ASSERT_NE(model, nullptr);
  const Analysis& a = *model;
  ASSERT_EQ(a.objects.size(), 3u);
  const ObjectInfo& top = a.objects.front();
  ASSERT_EQ(top.methods.size(), 5u);
  EXPECT_EQ(top.methods[0].index, 1);
  EXPECT_EQ(top.methods[0].address, a.image.pinit);
  EXPECT_EQ(top.methods[0].sourceName, "PUB main");
  EXPECT_EQ(top.methods[1].sourceName, "PRI capture");
  // Sub-objects have no source of their own beside the image.
  EXPECT_FALSE(a.objects[1].methods.front().sourceName);
  ASSERT_EQ(a.asmBlocks.size(), 2u);
  for (const AsmBlock& block : a.asmBlocks) {
    EXPECT_GT(block.longs, 0);
    const Region* region = a.RegionAt(block.hubAddress);
    ASSERT_NE(region, nullptr);
    EXPECT_EQ(region->kind, RegionKind::Asm);
    EXPECT_EQ(region->name, block.label);
    // The line of the block's label defines it.
    const auto line = a.LineDefining(block.label);
    ASSERT_TRUE(line);
    EXPECT_EQ(a.lines[*line].address, block.hubAddress);
  }
  // Every method entry lies in a Spin region named after its label.
  for (const Method& m : top.methods) {
    const Region* region = a.RegionAt(m.address);
    ASSERT_NE(region, nullptr);
    EXPECT_EQ(region->kind, RegionKind::Spin);
    EXPECT_EQ(region->name, m.label);
  }
  // Assembler lines carry their cog register.
  const auto first = a.LineAtAddress(a.asmBlocks.front().hubAddress);
  ASSERT_TRUE(first);
  EXPECT_EQ(a.lines[*first].cog, 0);
  EXPECT_EQ(a.RegionAt(a.image.vbase)->kind, RegionKind::Variables);
  EXPECT_EQ(a.RegionAt(0x7FFF)->kind, RegionKind::Free);
}

TEST(Analysis, LinesKnowTheirKindAndFields) {
  const AnalysisPtr model = AnalyseSample("adc_scope.eeprom");
  ASSERT_NE(model, nullptr);
  const Analysis& a = *model;
  std::set<LineKind> kinds;
  for (const ListingLine& line : a.lines) kinds.insert(line.kind);
  for (LineKind kind : {LineKind::Text, LineKind::Source, LineKind::Code, LineKind::Data, LineKind::Directive}) {
    EXPECT_TRUE(kinds.count(kind)) << static_cast<int>(kind);
  }
  // The header's first field: a data line with its directive, value and comment.
  const auto first = a.LineAtAddress(0);
  ASSERT_TRUE(first);
  const ListingLine& clock = a.lines[*first];
  EXPECT_EQ(clock.kind, LineKind::Data);
  EXPECT_EQ(clock.mnemonic(), "LONG");
  EXPECT_EQ(clock.text.substr(clock.commentSpan.start, clock.commentSpan.length), "; Clock Freq");
  EXPECT_EQ(clock.size, 0);
  // An assembly instruction: its cog register, condition and instruction apart.
  const auto conditional = std::find_if(a.lines.begin(), a.lines.end(), [](const ListingLine& l) {
    return l.kind == LineKind::Code && l.cog && !l.condition().empty();
  });
  ASSERT_NE(conditional, a.lines.end());
  EXPECT_EQ(conditional->cogSpan.start, 7);
  EXPECT_TRUE(conditional->condition().starts_with("IF_"));
  EXPECT_FALSE(conditional->mnemonic().empty());
  EXPECT_EQ(conditional->commentSpan.length, 0);
}

TEST(Analysis, LookUpsAreCaseInsensitiveAndAddressesFindTheLineThatHoldsThem) {
  const AnalysisPtr model = AnalyseSample("led_chaser.binary");
  ASSERT_NE(model, nullptr);
  const Analysis& a = *model;
  const Symbol* pinitLabel = nullptr;
  for (const Symbol& s : a.symbols) {
    if (s.address == a.image.pinit) pinitLabel = &s;
  }
  ASSERT_NE(pinitLabel, nullptr);
  std::string lower = pinitLabel->name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(a.FindSymbol(lower), pinitLabel);
  const auto line = a.LineDefining(lower);
  ASSERT_TRUE(line);
  EXPECT_EQ(a.lines[*line].defines, pinitLabel->name);
  // An address in the middle of the first instruction goes to that instruction's line.
  EXPECT_EQ(a.LineAtAddress(a.image.pinit + 1), a.LineAtAddress(a.image.pinit));
  EXPECT_FALSE(a.FindSymbol("NO_SUCH_LABEL"));
  EXPECT_FALSE(a.LineAtAddress(0x8000));
}

TEST(Analysis, AListingOnlyCallerGetsTheSameTextWithoutTheModel) {
  struct TextOnlyHost : ScriptedHost {
    bool WantsModel() override { return false; }
  };
  ScriptedHost full;
  TextOnlyHost textOnly;
  full.options.InhibitWarnings = textOnly.options.InhibitWarnings = true;
  Engine withModel(full), withoutModel(textOnly);
  const LoadResult a = withModel.LoadAndDisassemble(kData + "/adc_scope.eeprom", false);
  const LoadResult b = withoutModel.LoadAndDisassemble(kData + "/adc_scope.eeprom", false);
  ASSERT_EQ(a.status, LoadStatus::Listed);
  ASSERT_EQ(b.status, LoadStatus::Listed);
  EXPECT_EQ(b.analysis->listing, a.analysis->listing);
  EXPECT_EQ(b.analysis->sizeText, a.analysis->sizeText);
  EXPECT_EQ(b.analysis->image.pbase, a.analysis->image.pbase);
  EXPECT_FALSE(a.analysis->lines.empty());
  EXPECT_TRUE(b.analysis->lines.empty() && b.analysis->regions.empty() && b.analysis->symbols.empty());
  EXPECT_FALSE(b.analysis->LineAtAddress(a.analysis->image.pinit));
}

TEST(Analysis, ColonsAndBareListingsKeepTheModel) {
  for (int variant = 0; variant < 2; ++variant) {
    ScriptedHost host;
    host.options.InhibitWarnings = true;
    host.options.ColonsAfterLabels = variant == 0;
    host.options.ShowImage = variant == 1;
    Engine e(host);
    const LoadResult r = e.LoadAndDisassemble(kData + "/pasm_math.eeprom", false);
    ASSERT_EQ(r.status, LoadStatus::Listed);
    EXPECT_EQ(CheckModel(*r.analysis), "") << variant;
    const std::size_t defines = std::count_if(r.analysis->lines.begin(), r.analysis->lines.end(),
                                              [](const ListingLine& l) { return l.defines.has_value(); });
    EXPECT_GT(defines, 50u) << variant;
  }
}

TEST(Analysis, BrokenImagesStillGiveAValidModel) {
  std::mt19937 random(1207);
  ScriptedHost host;
  host.options.InhibitWarnings = true;
  Engine e(host);
  int listed = 0;
  for (int round = 0; round < 40; ++round) {
    std::vector<std::uint8_t> image(16 + random() % 32768);
    for (auto& b : image) b = static_cast<std::uint8_t>(random());
    if (round % 2 == 0) {  // header addresses in the image, anywhere
      for (std::size_t at = 6; at < 16; at += 2) {
        const std::uint32_t v = random() % 0x7FF8;
        image[at] = static_cast<std::uint8_t>(v);
        image[at + 1] = static_cast<std::uint8_t>(v >> 8);
      }
    }
    const LoadResult r = e.DisassembleBytes("junk.binary", image, false);
    if (r.status != LoadStatus::Listed) {
      EXPECT_FALSE(r.analysis);
      continue;
    }
    ++listed;
    ASSERT_TRUE(r.analysis);
    EXPECT_EQ(CheckModel(*r.analysis), "") << round;
  }
  EXPECT_GT(listed, 10);
}

}  // namespace
}  // namespace brevin
