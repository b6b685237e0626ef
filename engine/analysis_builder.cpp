// Builds the result model from what the analysis already made: the line marks
// the layout recorded, the per-address flags and symbol numbers, and the
// object tables in the image. Nothing is decoded again.
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "engine.h"
#include "text.h"

namespace brevin {

namespace {

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

std::vector<ListingLine> SplitLines(const std::string& listing, const std::vector<LineMark>& marks) {
  std::vector<ListingLine> lines;
  lines.reserve(marks.size());
  std::size_t from = 0;
  while (from < listing.size()) {
    std::size_t end = listing.find(kCrLf, from);
    if (end == std::string::npos) end = listing.size();
    ListingLine line;
    line.text = listing.substr(from, end - from);
    const std::size_t i = lines.size();
    if (i < marks.size()) {
      const LineMark& mark = marks[i];
      if (mark.hub >= 0) line.address = mark.hub;
      if (mark.cog >= 0) line.cog = mark.cog;
      line.labelStart = std::min<std::size_t>(mark.labelStart, line.text.size());
      line.labelEnd = std::min<std::size_t>(mark.labelStart + mark.labelLength, line.text.size());
      if (mark.textStart != LineMark::kNoText) line.textStart = std::min<std::size_t>(mark.textStart, line.text.size());
    }
    lines.push_back(std::move(line));
    from = end + kCrLf.size();
  }
  return lines;
}

// "PUB start(pin) : ok | x" -> "PUB start".
std::string MethodSourceName(const std::string& header) {
  std::string name;
  bool blank = false;
  for (char c : header) {
    if (c == '(' || c == ':' || c == '|' || c == '\'' || c == '{') break;
    if (c == ' ' || c == '\t') {
      blank = !name.empty();
      continue;
    }
    if (blank) name.push_back(' ');
    blank = false;
    name.push_back(c);
  }
  return name;
}

}  // namespace

AnalysisPtr Engine::BuildAnalysis(const std::string& path, std::int64_t size, bool checksumOk) const {
  using namespace flag;
  auto model = std::make_shared<Analysis>();
  Analysis& a = *model;
  a.listing = Listing;
  a.sizeText = SizeText;
  a.bytecodeListing = !Opt.ShowImage;
  a.image = ImageInfo{path,
                      size,
                      checksumOk,
                      ClockFreq,
                      ClockMode,
                      static_cast<std::int32_t>(PBASE),
                      static_cast<std::int32_t>(VBASE),
                      static_cast<std::int32_t>(SBASE),
                      static_cast<std::int32_t>(PINIT),
                      static_cast<std::int32_t>(SINIT)};

  // Symbols: every numbered address, under the name the listing gives it.
  const std::int64_t last = std::min<std::int64_t>(ImageEnd, kLastAddress);
  std::unordered_map<std::string, std::size_t> byName;
  for (std::int64_t k = 0; k <= last; ++k) {
    if (SymbolIds[static_cast<std::size_t>(k)] == 0) continue;
    Symbol symbol{SymbolName(0, k, 0), static_cast<std::int32_t>(k), {}};
    if (byName.try_emplace(symbol.name, a.symbols.size()).second) a.symbols.push_back(std::move(symbol));
  }

  // Lines, and the labels they define: the label field names a symbol of the line's own address.
  a.lines = SplitLines(Listing, lineMarks_);
  std::unordered_set<std::size_t> defined;
  for (std::size_t i = 0; i < a.lines.size() && i < lineMarks_.size(); ++i) {
    const LineMark& mark = lineMarks_[i];
    ListingLine& line = a.lines[i];
    if (mark.labelLength == 0 || mark.hub < 0 || mark.labelStart >= line.text.size()) continue;
    std::string label = line.text.substr(mark.labelStart, mark.labelLength);
    if (Opt.ColonsAfterLabels && !label.empty() && label.back() == ':') label.pop_back();
    const auto it = byName.find(label);
    if (it == byName.end() || a.symbols[it->second].address != mark.hub) continue;
    line.defines = label;
    defined.insert(it->second);
  }

  // References: names of defined labels written after the label field. A name
  // after "$" is a hex number, not a label.
  std::vector<std::vector<std::int32_t>> from(a.symbols.size());
  for (std::size_t i = 0; i < a.lines.size() && i < lineMarks_.size(); ++i) {
    const LineMark& mark = lineMarks_[i];
    if (mark.textStart == LineMark::kNoText) continue;
    ListingLine& line = a.lines[i];
    const std::string& text = line.text;
    std::size_t at = std::max<std::size_t>(mark.textStart, mark.labelStart + mark.labelLength);
    while (at < text.size()) {
      if (!IsNameChar(text[at])) {
        ++at;
        continue;
      }
      const std::size_t start = at;
      while (at < text.size() && IsNameChar(text[at])) ++at;
      if (start > 0 && (text[start - 1] == '$' || text[start - 1] == '%')) continue;
      // Every generated name is a capital letter and a number; most words are not.
      if (at - start < 2 || text[start] < 'A' || text[start] > 'Z' || text[start + 1] < '0' || text[start + 1] > '9') {
        continue;
      }
      const auto it = byName.find(text.substr(start, at - start));
      if (it == byName.end() || !defined.count(it->second)) continue;
      const Symbol& symbol = a.symbols[it->second];
      line.refs.push_back(LineReference{start, at, symbol.name, symbol.address});
      if (line.address) from[it->second].push_back(*line.address);
    }
  }
  for (std::size_t s = 0; s < a.symbols.size(); ++s) {
    // The tracer's own record counts too (it keeps the last place it came from).
    const std::int32_t traced = ReferencedFrom[static_cast<std::size_t>(a.symbols[s].address)];
    if (traced != 0) from[s].push_back(traced);
    std::sort(from[s].begin(), from[s].end());
    from[s].erase(std::unique(from[s].begin(), from[s].end()), from[s].end());
    a.symbols[s].referencedFrom = std::move(from[s]);
  }

  // One scan of the cells for the sub-objects the walk marked and the assembly block starts.
  std::vector<std::int64_t> bases{PBASE}, blockStarts;
  for (std::int64_t k = 0; k <= last; ++k) {
    const std::uint32_t cell = Image[static_cast<std::size_t>(k)];
    if ((cell & Xobj) && k != PBASE) bases.push_back(k);
    if (cell & Org0) blockStarts.push_back(k);
  }

  // Objects in image order: the top object first.
  std::sort(bases.begin(), bases.end());
  for (std::int64_t base : bases) {
    ObjectInfo object{static_cast<std::int32_t>(base), {}};
    // Byte 2 of an object's first long counts its methods plus one; the table's
    // method entries come first, then the sub-object entries.
    const std::int64_t methods = static_cast<std::int64_t>(ByteAt(base + 2)) - 1;
    for (std::int64_t k = 1; k <= methods && InImage(base + 4 * k + 1) && HasFlag(base + 4 * k, Link); ++k) {
      const std::int64_t entry = base + WordAt(base + 4 * k);
      if (!InImage(entry)) continue;
      Method method{static_cast<int>(k), static_cast<std::int32_t>(entry), SymbolName(0, entry, 0), std::nullopt};
      if (const auto it = methodSourceNames_.find(entry); it != methodSourceNames_.end()) {
        method.sourceName = MethodSourceName(it->second);
      }
      object.methods.push_back(std::move(method));
    }
    a.objects.push_back(std::move(object));
  }

  // Assembly blocks: each cog-address-0 mark and the instruction longs that follow it.
  for (const std::int64_t k : blockStarts) {
    int longs = 0;
    while (InImage(k + 4 * longs) && HasFlag(k + 4 * longs, Asmb) && (longs == 0 || !HasFlag(k + 4 * longs, Org0))) {
      ++longs;
    }
    a.asmBlocks.push_back(
        AsmBlock{static_cast<std::int32_t>(k), SymbolIds[static_cast<std::size_t>(k)] != 0 ? SymbolName(0, k, 0) : "", longs});
  }

  // Regions: a kind and a name for every address, then runs of equal ones.
  struct Cell {
    RegionKind kind = RegionKind::Free;
    int name = 0;
  };
  std::vector<std::string> names{"free", "header", "DAT", "padding", "unreached", "VAR", "STACK"};
  enum { kFree, kHeader, kDat, kPadding, kUnreached, kVar, kStack };
  std::vector<Cell> cells(kImageSize);
  int objectName = kDat, methodName = kUnreached, blockName = kUnreached;
  Cell item;           // the item that covers the next bytes
  std::int64_t itemEnd = 0;
  for (std::int64_t k = 0; k <= last; ++k) {
    Cell& cell = cells[static_cast<std::size_t>(k)];
    const std::uint32_t flags = Image[static_cast<std::size_t>(k)];  // flag bits lie above the byte
    if (k < 0x10) {
      cell = {RegionKind::Header, kHeader};
      continue;
    }
    if (VBASE <= VENDS && k >= VBASE) {
      cell = {k < VENDS ? RegionKind::Variables : RegionKind::Stack, k < VENDS ? kVar : kStack};
      continue;
    }
    if (k == PBASE || (flags & Xobj)) {
      names.push_back(k == PBASE ? std::string("PBASE") : SymbolName(0, k, 0));
      objectName = static_cast<int>(names.size()) - 1;
    }
    if ((flags & Spin) && (flags & Call)) {
      names.push_back(SymbolName(0, k, 0));
      methodName = static_cast<int>(names.size()) - 1;
    }
    if (flags & Org0) {
      names.push_back(SymbolIds[static_cast<std::size_t>(k)] != 0 ? SymbolName(0, k, 0) : "ORG $" + Hex4(k));
      blockName = static_cast<int>(names.size()) - 1;
    }
    const std::int64_t itemSize = (flags & Long) ? 4 : (flags & Word) ? 2 : 1;
    // The same order of tests as the listing loop, so a byte is of the kind it is listed as.
    if (flags & Spin) {
      item = {RegionKind::Spin, methodName}, itemEnd = k + 1;
    } else if ((flags & Asmb) && !(flags & Link)) {
      item = {RegionKind::Asm, blockName}, itemEnd = k + 4;
    } else if (flags & Link) {
      item = {RegionKind::ObjectTable, objectName}, itemEnd = k + 4;
    } else if (flags & Pads) {
      item = {RegionKind::Data, kPadding}, itemEnd = k + itemSize;
    } else if (flags & AnyItem) {
      item = {RegionKind::Data, kDat}, itemEnd = k + itemSize;
    } else if (k >= itemEnd) {
      item = {RegionKind::Data, kUnreached}, itemEnd = k + 1;
    }
    cell = item;
  }
  std::int32_t start = 0;
  for (std::int32_t k = 1; k <= kImageSize; ++k) {
    const Cell& first = cells[static_cast<std::size_t>(start)];
    if (k < kImageSize && cells[static_cast<std::size_t>(k)].kind == first.kind &&
        cells[static_cast<std::size_t>(k)].name == first.name) {
      continue;
    }
    a.regions.push_back(Region{start, k, first.kind, names[static_cast<std::size_t>(first.name)]});
    start = k;
  }

  a.Index();
  return model;
}

}  // namespace brevin
