#include "fuzz_case.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

#include "brevin/hub_memory.h"
#include "brevin/spin_source.h"

namespace brevin::fuzz {

namespace {
// Sources of differing shapes, so that source inclusion meets images it does
// not describe. The order is fixed: kept inputs must replay the same way.
constexpr std::array<const char*, 7> kSources = {"serial_terminal", "led_chaser", "vga_bars", "lcd_clock",
                                                 "fifo_demo",       "sensor_hub", "uart_pasm"};

bool Bit(std::uint64_t word, int n) { return (word >> n & 1) != 0; }

Options OptionsFrom(std::uint64_t w) {
  Options o;
  o.ShowImage = Bit(w, 0);
  o.IncludeSourceCode = Bit(w, 1);
  o.ProcessAssembler = Bit(w, 2);
  o.ShowLabels = Bit(w, 3);
  o.FoldOpcodes = Bit(w, 4);
  o.FoldEffects = Bit(w, 5);
  o.FoldOperators = Bit(w, 6);
  o.FoldArguments = Bit(w, 7);
  o.FoldSpr = Bit(w, 8);
  o.FoldIndexes = Bit(w, 9);
  o.ColonsAfterLabels = Bit(w, 10);
  o.ForceHash = Bit(w, 11);
  o.DefaultLongVariables = Bit(w, 12);
  o.CastVariables = Bit(w, 13);
  o.SymbolTable = Bit(w, 14);
  o.DebugSpin = Bit(w, 15);
  o.DebugAsmb = Bit(w, 16);
  o.DebugVars = Bit(w, 17);
  o.InhibitWarnings = Bit(w, 18);
  o.TraceAllMethods = Bit(w, 19);
  return o;
}

// CR LF ends every line; no other CR or LF stands in the text. Searched with
// memchr, which is not instrumented: a byte loop here cost more than some
// analyses.
bool OnlyCrLfLineEnds(const std::string& text) {
  const char* data = text.data();
  std::size_t crs = 0;
  for (const char* p = data; (p = static_cast<const char*>(std::memchr(p, '\r', text.size() - (p - data)))); ++p) {
    if (p + 1 == data + text.size() || p[1] != '\n') return false;
    ++crs;
  }
  std::size_t lfs = 0;
  for (const char* p = data; (p = static_cast<const char*>(std::memchr(p, '\n', text.size() - (p - data)))); ++p) ++lfs;
  return crs == lfs;  // every CR has its LF, so no LF stands alone
}
}  // namespace

// FNV-1a over every byte: any mutation may move an input in or out of the
// cross-checked share, whatever the option bytes say.
std::uint64_t InputHash(std::span<const std::uint8_t> input) {
  std::uint64_t h = 0xcbf29ce484222325u;
  for (const std::uint8_t b : input) h = (h ^ b) * 0x100000001b3u;
  return h;
}

CaseSettings SettingsFrom(std::span<const std::uint8_t> input) {
  std::uint64_t w = 0;
  const std::size_t n = std::min<std::size_t>(input.size(), 8);
  for (std::size_t i = 0; i < n; ++i) w |= static_cast<std::uint64_t>(input[input.size() - n + i]) << (8 * i);
  CaseSettings s;
  s.word = w;
  s.options = OptionsFrom(w);
  s.autoReloaded = Bit(w, 19);
  s.developerMode = Bit(w, 20);
  s.declineChecksum = (w >> 21 & 7) == 7;
  s.answers = static_cast<std::uint8_t>(w >> 24);
  s.source = static_cast<int>(w >> 32 & 7);
  s.crossChecks = InputHash(input) % kCrossCheckOneIn == 0;  // the reuse check costs two more analyses
  s.flagsReport = Bit(w, 37);
  s.toolRunning = Bit(w, 38);
  return s;
}

MessageAnswer FuzzHost::ShowMessage(const std::string&, const std::string&, MessageButtons buttons, MessageIcon) {
  switch (buttons) {
    case MessageButtons::Ok: return MessageAnswer::Ok;
    case MessageButtons::YesNo: return settings_.declineChecksum ? MessageAnswer::No : MessageAnswer::Yes;
    case MessageButtons::YesNoCancel: break;
  }
  const int answer = settings_.answers >> (2 * (questions++ % 4)) & 3;
  return answer == 1 ? MessageAnswer::No : answer == 2 ? MessageAnswer::Cancel : MessageAnswer::Yes;
}

FuzzCase::FuzzCase(std::span<const std::uint8_t> input, const std::string& sourceFolder)
    : input_(input),
      settings_(SettingsFrom(input)),
      host_(settings_, settings_.source == 0 ? sourceFolder + "/no-such-source.spin"
                                             : sourceFolder + "/" + kSources[static_cast<std::size_t>(settings_.source - 1)] + ".spin") {
  host_.options = settings_.options;
}

LoadResult FuzzCase::Analyse(Engine& engine) {
  host_.debug.clear();
  host_.questions = 0;
  return engine.DisassembleBytes("fuzz/input.eeprom", input_, settings_.autoReloaded);
}

std::string FuzzCase::Problems(const LoadResult& result) const {
  if (result.status != LoadStatus::Listed) return result.message.empty() ? "a refused image without a message" : "";
  if (!result.analysis) return "a listed image without a result";
  const std::string& listing = result.analysis->listing;
  if (listing.empty()) return "an empty listing";
  if (!OnlyCrLfLineEnds(listing)) return "a line end other than CR LF in the listing";
  if (!OnlyCrLfLineEnds(host_.debug)) return "a line end other than CR LF in the debug text";
  return ModelProblems(*result.analysis);
}

std::string ModelProblems(const Analysis& analysis) {
  // The lines with CR LF after each must be the listing: compared in place.
  const std::string_view listing = analysis.listing;
  std::size_t at = 0;
  for (const ListingLine& line : analysis.lines) {
    if (listing.size() - at < line.text.size() + 2 || listing.substr(at, line.text.size()) != line.text ||
        listing.substr(at + line.text.size(), 2) != "\r\n") {
      return "the model's lines differ from the listing";
    }
    at += line.text.size() + 2;
    for (const LineReference& ref : line.refs) {
      if (ref.start >= ref.end || ref.end > line.text.size()) return "a reference span outside its line";
      if (line.text.compare(ref.start, ref.end - ref.start, ref.name) != 0) return "a reference span that is not its name";
      if (ref.target < 0 || ref.target >= kImageSize) return "a reference outside the image";
      const Symbol* symbol = analysis.FindSymbol(ref.name);
      if (symbol == nullptr || symbol->address != ref.target) return "a reference to no symbol of its address";
    }
  }
  if (at != listing.size()) return "the model's lines differ from the listing";
  std::int32_t next = 0;
  for (const Region& region : analysis.regions) {
    if (region.start != next || region.end <= region.start) return "regions with a gap, an overlap or no length";
    next = region.end;
  }
  if (next != kImageSize) return "regions that do not end at the image's end";
  return "";
}

std::string SpinSourceProblems(std::span<const std::uint8_t> input, const Analysis* analysis) {
  SpinSourceRequest request;
  request.image = input;
  request.topName = "input";
  request.analysis = analysis;
  const SpinSourceProject project = RecoverSpinSource(request);
  if (!project.error.empty()) return project.files.empty() ? "" : "a recovery error with files written";
  if (project.files.empty()) return "a recovery with neither files nor an error";
  for (const SpinSourceFile& file : project.files) {
    if (file.name.empty() || file.text.empty()) return "a recovered file without a name or text";
    int lines = 0;
    for (char ch : file.text) lines += ch == '\n';
    int last = -1;
    for (const SpinSourceMark& mark : file.marks) {
      if (mark.line < last || mark.line >= lines) return "a statement mark out of order or past the file";
      last = mark.line;
    }
  }
  for (const SpinSourceMethod& method : project.methods) {
    if (!method.exact && method.difference.empty()) return "an inexact method without its difference";
  }
  return "";
}

void MutateHeaderWords(std::span<std::uint8_t> input, std::uint32_t random) {
  if (input.size() < 16) return;
  // A small generator of its own: the same seed gives the same mutation.
  std::uint32_t state = random | 1;
  const auto next = [&state](std::uint32_t n) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state % n;
  };
  const auto wordAt = [&](std::size_t at) { return static_cast<std::uint32_t>(input[at] | input[at + 1] << 8); };
  static constexpr std::uint32_t kEdges[] = {0x0000, 0x0001, 0x0008, 0x0010, 0x7FF8, 0x7FFC,
                                             0x7FFF, 0x8000, 0x8004, 0x8007, 0xFFF8, 0xFFFF};
  const std::uint32_t words = 1 + next(2);
  for (std::uint32_t n = 0; n < words; ++n) {
    const std::size_t at = 6 + 2 * next(5);
    std::uint32_t value;
    if (next(2) == 0) {
      value = kEdges[next(std::size(kEdges))];
    } else {
      const std::uint32_t other = wordAt(6 + 2 * next(5));
      value = (other + next(17) - 8) & 0xFFFF;  // -8 .. +8 around it
    }
    input[at] = static_cast<std::uint8_t>(value);
    input[at + 1] = static_cast<std::uint8_t>(value >> 8);
  }
  // The bytes of the image (at most 32 KB) sum to 0 again.
  input[5] = 0;
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < std::min<std::size_t>(input.size(), kImageSize); ++i) sum += input[i];
  input[5] = static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

std::string RunImageCase(std::span<const std::uint8_t> input, const std::string& sourceFolder, bool everyCheck) {
  FuzzCase c(input, sourceFolder);
  Engine engine(c.host());
  const bool crossChecks = everyCheck || c.settings().crossChecks;
  if (crossChecks) {
    // The engine first analyses the image under the opposite options, then
    // under the input's own: the result must match a fresh engine's.
    c.host().options = OptionsFrom(~c.settings().word);
    c.Analyse(engine);
    c.host().options = c.settings().options;
  }
  const LoadResult result = c.Analyse(engine);
  std::string problems = c.Problems(result);
  if (!problems.empty()) return problems;
  // The source recovery has a fuzz target of its own; the kept inputs replayed
  // with every check go through it here too.
  if (everyCheck) {
    if (std::string recovery = SpinSourceProblems(input); !recovery.empty()) return recovery;
  }
  // The flags report walks all 32 KB: it runs with the cross-checks, on the inputs whose option bit asks for it.
  if (crossChecks && c.settings().flagsReport && result.status == LoadStatus::Listed && engine.ListImageFlags().empty()) {
    return "an empty flags report";
  }
  if (crossChecks) {
    const std::string debug = c.host().debug;
    Engine fresh(c.host());
    const LoadResult again = c.Analyse(fresh);
    if (again.status != result.status || again.message != result.message) return "a reused engine's status differs";
    if (again.analysis && result.analysis && again.analysis->listing != result.analysis->listing) {
      return "a reused engine's listing differs from a fresh one's";
    }
    if (c.host().debug != debug) return "a reused engine's debug text differs from a fresh one's";
  }
  return "";
}

}  // namespace brevin::fuzz
