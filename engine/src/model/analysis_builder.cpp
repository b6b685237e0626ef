// Builds the result model from what the analysis already made: the line marks
// the layout recorded, the per-address flags and symbol numbers, and the
// object tables in the image. Nothing is decoded again.
#include <algorithm>

#include "brevin/text.h"
#include "disassembler.h"

namespace brevin {

namespace {

// Where the address field of an image listing shows the hub address and the cog register.
constexpr std::size_t kHubColumn = 0;
constexpr std::size_t kCogColumn = 7;

// The span of a field of a line without its surrounding blanks; empty where
// the line is shorter.
ListingLine::Span Field(std::string_view text, std::size_t start, std::size_t length) {
  if (start >= text.size()) return {};
  const std::string_view field = text.substr(start, length);
  const std::size_t first = field.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const std::size_t last = field.find_last_not_of(' ');
  return {static_cast<std::uint16_t>(start + first), static_cast<std::uint16_t>(last - first + 1)};
}

// The lines of the listing as views into it, one a mark: each mark says where
// its line ends.
std::vector<ListingLine> SplitLines(std::string_view listing, const std::vector<LineMark>& marks) {
  std::vector<ListingLine> lines;
  lines.reserve(marks.size());
  std::size_t from = 0;
  for (const LineMark& mark : marks) {
    ListingLine& line = lines.emplace_back();
    line.text = listing.substr(from, mark.end - from);
    from = mark.end + kCrLf.size();
    if (mark.hub >= 0) line.address = mark.hub;
    if (mark.cog >= 0) line.cog = mark.cog;
    line.labelStart = std::min<std::size_t>(mark.labelStart, line.text.size());
    line.labelEnd = std::min<std::size_t>(mark.labelStart + mark.labelLength, line.text.size());
    if (mark.textStart != LineMark::kNoText) line.textStart = std::min<std::size_t>(mark.textStart, line.text.size());
    line.kind = mark.kind;
    if (mark.hubShown) line.hubSpan = Field(line.text, kHubColumn, 4);
    if (mark.cogShown) line.cogSpan = Field(line.text, kCogColumn, 3);
    line.bytesSpan = Field(line.text, mark.bytesStart, mark.bytesLength);
    if (mark.noteLength != 0) line.noteSpan = {mark.noteStart, mark.noteLength};
    const bool fields = mark.kind == LineKind::Code || mark.kind == LineKind::Data ||
                        mark.kind == LineKind::Directive || mark.kind == LineKind::Unreached;
    if (fields && (mark.opcodeLength != 0 || mark.operandLength != 0)) {
      line.mnemonicSpan = Field(line.text, mark.opcodeStart, mark.opcodeLength);
      line.operandsSpan = Field(line.text, mark.operandStart, mark.operandLength);
      line.commentSpan = Field(line.text, mark.commentStart, mark.commentLength);
      line.conditionSpan = Field(line.text, mark.conditionStart, mark.conditionLength);
      // Only a line that shows image bytes and has a mnemonic stands for instructions.
      if (line.mnemonicSpan.length != 0) line.size = mark.byteCount;
    }
  }
  return lines;
}

// An order on names that settles most pairs by their length: names are short,
// so this costs a few compares and no library call.
bool NameBefore(std::string_view x, std::string_view y) {
  if (x.size() != y.size()) return x.size() < y.size();
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (x[i] != y[i]) return static_cast<unsigned char>(x[i]) < static_cast<unsigned char>(y[i]);
  }
  return false;
}

// Symbol indexes sorted (stably) by exact name.
std::vector<std::uint32_t> SortedByName(const std::vector<Symbol>& symbols) {
  std::vector<std::uint32_t> order(symbols.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::uint32_t x, std::uint32_t y) { return NameBefore(symbols[x].name, symbols[y].name); });
  return order;
}

// The index of the symbol of that exact name, or -1.
std::int64_t FindByName(const std::vector<std::uint32_t>& byName, const std::vector<Symbol>& symbols,
                        std::string_view name) {
  const auto it = std::lower_bound(byName.begin(), byName.end(), name,
                                   [&](std::uint32_t i, std::string_view n) { return NameBefore(symbols[i].name, n); });
  return it != byName.end() && symbols[*it].name == name ? static_cast<std::int64_t>(*it) : -1;
}

// The index of the symbol at that address, or -1; symbols are in address order.
std::int64_t FindByAddress(const std::vector<Symbol>& symbols, std::int32_t address) {
  const auto it = std::lower_bound(symbols.begin(), symbols.end(), address,
                                   [](const Symbol& s, std::int32_t a) { return s.address < a; });
  return it != symbols.end() && it->address == address ? it - symbols.begin() : -1;
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

AnalysisPtr Disassembler::BuildAnalysis(const std::string& path, std::int64_t size, bool checksumOk) {
  using namespace flag;
  auto model = std::make_shared<Analysis>();
  Analysis& a = *model;
  // Nothing reads the engine's copy again: the text moves out instead of being
  // copied (the next load reserves its buffer anew).
  const bool wantsModel = host_.WantsModel();
  a.listing = std::move(Listing);
  Listing.clear();
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
                      static_cast<std::int32_t>(SINIT),
                      {}};
  if (!wantsModel) {
    a.Index();
    return model;
  }
  // The model keeps the generated labels, with the given names beside them.
  givenNamesOn_ = false;
  const auto givenAt = [this](std::int64_t address) -> std::optional<std::string> {
    const auto it = givenNames_.find(static_cast<std::int32_t>(address));
    return it == givenNames_.end() ? std::nullopt : std::optional<std::string>(it->second);
  };
  const std::int64_t analysed = std::clamp<std::int64_t>(size, 0, kImageSize);
  a.image.bytes.resize(static_cast<std::size_t>(analysed));
  for (std::size_t i = 0; i < a.image.bytes.size(); ++i) a.image.bytes[i] = static_cast<std::uint8_t>(Image[i] & 0xFFu);

  // Symbols: every numbered address, under the name the listing gives it; a
  // name given twice (a broken image can do that) stays with its first address.
  const std::int64_t last = std::min<std::int64_t>(ImageEnd, kLastAddress);
  for (std::int64_t k = 0; k <= last; ++k) {
    if (SymbolIds[static_cast<std::size_t>(k)] == 0) continue;
    a.symbols.push_back(Symbol{SymbolName(0, k, 0), static_cast<std::int32_t>(k), {}, std::nullopt, givenAt(k)});
  }
  std::vector<std::uint32_t> byName = SortedByName(a.symbols);
  const auto sameName = [&](std::uint32_t x, std::uint32_t y) { return a.symbols[x].name == a.symbols[y].name; };
  if (std::adjacent_find(byName.begin(), byName.end(), sameName) != byName.end()) {
    std::vector<char> repeat(a.symbols.size(), 0);
    for (std::size_t i = 1; i < byName.size(); ++i) {
      if (sameName(byName[i - 1], byName[i])) repeat[byName[i]] = 1;
    }
    // A symbol moved onto itself would lose its name (a moved-from string is
    // left empty), so the ones before the first repeat stay where they are.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < a.symbols.size(); ++i) {
      if (repeat[i]) continue;
      if (kept != i) a.symbols[kept] = std::move(a.symbols[i]);
      ++kept;
    }
    a.symbols.resize(kept);
    byName = SortedByName(a.symbols);
  }

  // Lines, and the labels they define: the writer marked the labels that name the line's own symbol.
  a.lines = SplitLines(a.listing, lineMarks_);
  std::vector<char> defined(a.symbols.size(), 0);
  for (std::size_t i = 0; i < a.lines.size() && i < lineMarks_.size(); ++i) {
    const LineMark& mark = lineMarks_[i];
    if (!mark.definesLabel) continue;
    // A name given twice stays only with its first address: the other defines nothing.
    const std::int64_t s = FindByAddress(a.symbols, mark.hub);
    if (s < 0) continue;
    a.lines[i].defines = a.symbols[static_cast<std::size_t>(s)].name;
    defined[static_cast<std::size_t>(s)] = 1;
  }

  // References: the symbols the writer named in each line, where a line defines their label.
  std::vector<std::vector<std::int32_t>> from(a.symbols.size());
  for (std::size_t i = 0; i < a.lines.size() && i < lineMarks_.size(); ++i) {
    const LineMark& mark = lineMarks_[i];
    ListingLine& line = a.lines[i];
    for (std::uint32_t r = mark.refsBegin; r < mark.refsEnd; ++r) {
      const LineNameRef& ref = lineRefs_[r];
      std::int64_t s = FindByAddress(a.symbols, ref.target);
      const std::string_view name = line.text.substr(ref.start, ref.end - ref.start);
      const auto shown = [&](std::int64_t index) -> const std::string& {
        const Symbol& sym = a.symbols[static_cast<std::size_t>(index)];
        return sym.givenName ? *sym.givenName : sym.name;
      };
      // A name given twice keeps only its first address: the name leads to that symbol.
      if (s < 0 || shown(s) != name) s = FindByName(byName, a.symbols, name);
      if (s < 0 || !defined[static_cast<std::size_t>(s)]) continue;
      const Symbol& symbol = a.symbols[static_cast<std::size_t>(s)];
      line.refs.push_back(LineReference{ref.start, ref.end, symbol.name, symbol.address});
      if (line.address) from[static_cast<std::size_t>(s)].push_back(*line.address);
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

  // One scan of the cells for the assembly block starts.
  std::vector<std::int64_t> blockStarts;
  for (std::int64_t k = 0; k <= last; ++k) {
    if (Image[static_cast<std::size_t>(k)] & Org0) blockStarts.push_back(k);
  }

  // Objects in image order, the top object first, each with its whole method table.
  for (const TableObject& table : tableObjects_) {
    ObjectInfo object;
    object.address = static_cast<std::int32_t>(table.base);
    object.traced = table.traced;
    for (const TableMethod& m : table.methods) {
      const std::int64_t entry = m.target;
      Method method;
      method.index = m.index;
      method.address = static_cast<std::int32_t>(entry);
      if (InImage(entry)) {
        method.label = SymbolName(0, entry, 0);
        if (SymbolIds[static_cast<std::size_t>(entry)] != 0) method.givenName = givenAt(entry);
      }
      method.traced = m.traced;
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

  // Regions: a kind and a name for every address, gathered into runs of equal
  // ones as the scan goes (no per-address table to fill and walk again).
  struct Cell {
    RegionKind kind = RegionKind::Free;
    int name = 0;
    bool operator==(const Cell&) const = default;
  };
  std::vector<std::string> names{"free", "header", "DAT", "padding", "unreached", "VAR", "STACK"};
  enum { kFree, kHeader, kDat, kPadding, kUnreached, kVar, kStack };
  int objectName = kDat, methodName = kUnreached, blockName = kUnreached;
  Cell item;           // the item that covers the next bytes
  std::int64_t itemEnd = 0;
  std::int32_t runStart = 0;
  Cell run;  // the cell of the open run; addresses past the scan are free
  for (std::int64_t k = 0; k <= last + 1 && k < kImageSize; ++k) {
    Cell cell;
    const std::uint32_t flags = k <= last ? Image[static_cast<std::size_t>(k)] : 0;  // flag bits lie above the byte
    if (k > last) {
      cell = Cell{};
    } else if (k < 0x10) {
      cell = {RegionKind::Header, kHeader};
    } else if (VBASE <= VENDS && k >= VBASE) {
      cell = {k < VENDS ? RegionKind::Variables : RegionKind::Stack, k < VENDS ? kVar : kStack};
    } else {
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
    if (cell == run) continue;
    if (k > runStart) {
      a.regions.push_back(Region{runStart, static_cast<std::int32_t>(k), run.kind, names[static_cast<std::size_t>(run.name)]});
    }
    runStart = static_cast<std::int32_t>(k);
    run = cell;
  }
  a.regions.push_back(Region{runStart, kImageSize, run.kind, names[static_cast<std::size_t>(run.name)]});

  // Names of known library objects go to the model only: the listing is written.
  libraryWarnings_.clear();
  if (Opt.LibraryNames) library::ApplyLibraryNames(a, libraryCache_.Load(host_.LibraryFiles(), libraryWarnings_));
  // Each stack slot and cog variable once, as the listing first named it.
  for (NamedSlot& slot : slots_) {
    const bool seen = std::any_of(a.namedSlots.begin(), a.namedSlots.end(), [&](const NamedSlot& s) {
      return s.local == slot.local && s.address == slot.address && s.offset == slot.offset;
    });
    if (!seen) a.namedSlots.push_back(std::move(slot));
  }
  slots_.clear();
  givenNamesOn_ = true;

  a.Index();
  // Only lines of code stand for instructions; data items, markers and the
  // header show bytes too.
  for (ListingLine& line : a.lines) {
    if (line.size == 0) continue;
    const Region* region = line.address ? a.RegionAt(*line.address) : nullptr;
    if (region == nullptr || (region->kind != RegionKind::Spin && region->kind != RegionKind::Asm)) line.size = 0;
  }
  // The marks live on in the lines: their memory goes back while the caller
  // holds the model.
  std::vector<LineMark>().swap(lineMarks_);
  std::vector<LineNameRef>().swap(lineRefs_);
  return model;
}

}  // namespace brevin
