// Look-ups on a finished analysis: symbols by name, lines by label or address.
#include "analysis.h"

#include <algorithm>
#include <cctype>

#include "image_flags.h"

namespace brevin {

namespace {
std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
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
  symbolByName_.clear();
  for (std::size_t i = 0; i < symbols.size(); ++i) symbolByName_.try_emplace(Upper(symbols[i].name), i);
  definingLine_.clear();
  lineOfAddress_.assign(kImageSize, -1);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].defines) definingLine_.try_emplace(Upper(*lines[i].defines), i);
    if (lines[i].address && InImage(*lines[i].address)) {
      std::int32_t& first = lineOfAddress_[static_cast<std::size_t>(*lines[i].address)];
      if (first < 0) first = static_cast<std::int32_t>(i);
    }
  }
  // An address inside an instruction or data item goes to the line of its start.
  std::int32_t last = -1;
  for (std::int32_t& line : lineOfAddress_) {
    if (line < 0) line = last;
    else last = line;
  }
}

const Symbol* Analysis::FindSymbol(std::string_view name) const {
  const auto it = symbolByName_.find(Upper(name));
  return it == symbolByName_.end() ? nullptr : &symbols[it->second];
}

std::optional<std::size_t> Analysis::LineDefining(std::string_view name) const {
  if (const auto it = definingLine_.find(Upper(name)); it != definingLine_.end()) return it->second;
  if (const Symbol* symbol = FindSymbol(name)) return LineAtAddress(symbol->address);
  return std::nullopt;
}

std::optional<std::size_t> Analysis::LineAtAddress(std::int32_t address) const {
  if (!InImage(address) || lineOfAddress_.empty()) return std::nullopt;
  const std::int32_t line = lineOfAddress_[static_cast<std::size_t>(address)];
  if (line < 0) return std::nullopt;
  return static_cast<std::size_t>(line);
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
