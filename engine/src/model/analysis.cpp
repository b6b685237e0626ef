// Look-ups on a finished analysis: symbols by name, lines by label or address.
#include "brevin/analysis.h"

#include <algorithm>
#include <iterator>

#include "image/image_flags.h"

namespace brevin {

namespace {
// ASCII case folding, as the generated names are ASCII; no locale call per byte.
unsigned char Fold(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - ('a' - 'A')) : u;
}

// Shorter names first, then by folded bytes: names equal ignoring case have the
// same length, and most pairs are settled by the length alone.
bool LessIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return a.size() < b.size();
  for (std::size_t i = 0; i < a.size(); ++i) {
    const unsigned char x = Fold(a[i]), y = Fold(b[i]);
    if (x != y) return x < y;
  }
  return false;
}

// The first of the entries whose name equals the wanted one ignoring case;
// the entries are sorted (stably, so the first is the earliest) by that name.
template <typename NameOf>
const std::uint32_t* FindIgnoringCase(const std::vector<std::uint32_t>& sorted, std::string_view wanted, NameOf nameOf) {
  const auto it = std::lower_bound(sorted.begin(), sorted.end(), wanted,
                                   [&](std::uint32_t i, std::string_view w) { return LessIgnoringCase(nameOf(i), w); });
  if (it == sorted.end() || LessIgnoringCase(wanted, nameOf(*it))) return nullptr;
  return &*it;
}
}  // namespace

std::string_view RegionKindName(RegionKind kind) {
  switch (kind) {
    case RegionKind::Header: return "header";
    case RegionKind::ObjectTable: return "object_table";
    case RegionKind::Spin: return "spin";
    case RegionKind::Asm: return "asm";
    case RegionKind::Data: return "data";
    case RegionKind::Variables: return "variables";
    case RegionKind::Stack: return "stack";
    case RegionKind::Free: return "free";
  }
  return "free";
}

void Analysis::Index() {
  const auto symbolName = [this](std::uint32_t i) -> std::string_view { return symbols[i].name; };
  const auto label = [this](std::uint32_t i) -> std::string_view { return *lines[i].defines; };
  symbolsByName_.resize(symbols.size());
  for (std::size_t i = 0; i < symbols.size(); ++i) symbolsByName_[i] = static_cast<std::uint32_t>(i);
  std::stable_sort(symbolsByName_.begin(), symbolsByName_.end(),
                   [&](std::uint32_t x, std::uint32_t y) { return LessIgnoringCase(symbolName(x), symbolName(y)); });

  std::size_t labelled = 0, addressed = 0;
  for (const ListingLine& line : lines) {
    labelled += line.defines ? 1u : 0u;
    addressed += line.address && InImage(*line.address) ? 1u : 0u;
  }
  labelLines_.clear();
  labelLines_.reserve(labelled);
  lineStarts_.clear();
  lineStarts_.reserve(addressed);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].defines) labelLines_.push_back(static_cast<std::uint32_t>(i));
    if (lines[i].address && InImage(*lines[i].address)) {
      lineStarts_.emplace_back(*lines[i].address, static_cast<std::uint32_t>(i));
    }
  }
  std::stable_sort(labelLines_.begin(), labelLines_.end(),
                   [&](std::uint32_t x, std::uint32_t y) { return LessIgnoringCase(label(x), label(y)); });
  // Listed addresses mostly ascend; the stable sort keeps each address's lines in
  // listing order, so the first line at an address survives the unique.
  const auto byAddress = [](const auto& x, const auto& y) { return x.first < y.first; };
  if (!std::is_sorted(lineStarts_.begin(), lineStarts_.end(), byAddress)) {
    std::stable_sort(lineStarts_.begin(), lineStarts_.end(), byAddress);
  }
  lineStarts_.erase(std::unique(lineStarts_.begin(), lineStarts_.end(),
                                [](const auto& x, const auto& y) { return x.first == y.first; }),
                    lineStarts_.end());
}

const Symbol* Analysis::FindSymbol(std::string_view name) const {
  const std::uint32_t* found =
      FindIgnoringCase(symbolsByName_, name, [this](std::uint32_t i) -> std::string_view { return symbols[i].name; });
  if (found != nullptr) return &symbols[*found];
  // The names a person gave are few: a scan finds them.
  for (const Symbol& symbol : symbols)
    if (symbol.givenName && !LessIgnoringCase(*symbol.givenName, name) && !LessIgnoringCase(name, *symbol.givenName))
      return &symbol;
  return nullptr;
}

std::optional<std::int32_t> Analysis::LibraryNameAddress(std::string_view name) const {
  const auto same = [](std::string_view a, std::string_view b) { return !LessIgnoringCase(a, b) && !LessIgnoringCase(b, a); };
  const std::size_t dot = name.find('.');
  const std::string_view file = dot == std::string_view::npos ? std::string_view() : name.substr(0, dot);
  const std::string_view wanted = dot == std::string_view::npos ? name : name.substr(dot + 1);
  for (const ObjectInfo& object : objects) {
    if (dot != std::string_view::npos && (!object.libraryName || !same(*object.libraryName, file))) continue;
    for (const Method& m : object.methods) {
      if (m.libraryName && same(*m.libraryName, wanted) && InImage(m.address)) return m.address;
    }
  }
  if (dot != std::string_view::npos) return std::nullopt;
  for (const Symbol& symbol : symbols) {
    if (symbol.libraryName && same(*symbol.libraryName, name)) return symbol.address;
  }
  return std::nullopt;
}

std::optional<std::size_t> Analysis::LineDefining(std::string_view name) const {
  if (const std::uint32_t* found = FindIgnoringCase(
          labelLines_, name, [this](std::uint32_t i) -> std::string_view { return *lines[i].defines; })) {
    return *found;
  }
  if (const Symbol* symbol = FindSymbol(name)) return LineAtAddress(symbol->address);
  return std::nullopt;
}

// An address inside an instruction or data item goes to the line of its start:
// the first line of the nearest listed address at or below it.
std::optional<std::size_t> Analysis::LineAtAddress(std::int32_t address) const {
  if (!InImage(address)) return std::nullopt;
  const auto it = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), address,
                                   [](std::int32_t a, const auto& start) { return a < start.first; });
  if (it == lineStarts_.begin()) return std::nullopt;
  return std::prev(it)->second;
}

const Region* Analysis::RegionAt(std::int32_t address) const {
  const auto it = std::upper_bound(regions.begin(), regions.end(), address,
                                   [](std::int32_t a, const Region& r) { return a < r.end; });
  return it != regions.end() && it->start <= address ? &*it : nullptr;
}

const LineReference* Analysis::ReferenceAt(std::size_t line, std::size_t column) const {
  if (line >= lines.size()) return nullptr;
  for (const LineReference& ref : lines[line].refs) {
    if (column >= ref.start && column < ref.end) return &ref;
  }
  return nullptr;
}

}  // namespace brevin
