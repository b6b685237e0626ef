#include "recovery/dat_names.h"
#include "brevin/text.h"

#include <cctype>

namespace brevin::recovery {

namespace {

int AlignedSize(std::int32_t offset, int size) {
  if (size != 1 && size != 2 && size != 4) return 0;
  return offset % size == 0 ? size : 1;
}

}  // namespace

bool IsLocalLabel(std::string_view name) {
  if (name.size() < 2 || name.size() > 31 || name[0] != ':') return false;
  if (!std::isalpha(static_cast<unsigned char>(name[1])) && name[1] != '_') return false;
  for (const char c : name.substr(1)) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  }
  return true;
}

DatNames::DatNames(const DatSectionInput& in) : in_(in) {
  for (const std::string& name : in.takenNames) taken_.TakeExactly(name);
  auto reserve = [&](const std::string& name) {
    if (name.starts_with(':')) return;
    const auto [it, added] = source_.try_emplace(UpperText(name));
    if (added) it->second.usable = taken_.TakeExactly(name);
  };
  for (const auto& [offset, label] : in.sourceLabels) reserve(label.name);
  for (const auto& [place, name] : in.sourceCogLabels) reserve(name);
}

std::int64_t DatNames::ReservedPlace(std::int32_t programStart, std::int32_t reg) {
  // Past every object offset, one slot per program start and register.
  return (std::int64_t{1} << 48) + (std::int64_t{programStart} << 12) + reg;
}

std::optional<std::string> DatNames::Source(const std::string& name, std::int64_t place) {
  const auto it = source_.find(UpperText(name));
  if (it == source_.end() || !it->second.usable) return std::nullopt;
  if (it->second.place && *it->second.place != place) return std::nullopt;
  it->second.place = place;
  return name;
}

std::vector<WantedLabel> DatNames::SourceLabelsAt(std::int32_t offset, const std::string* except) {
  std::vector<WantedLabel> out;
  for (auto [it, end] = in_.sourceLabels.equal_range(offset); it != end; ++it) {
    if (except != nullptr && UpperText(*except) == UpperText(it->second.name)) continue;
    const int size = AlignedSize(offset, it->second.size);
    if (size == 0) continue;
    if (const std::optional<std::string> name = Source(it->second.name, offset)) out.push_back(WantedLabel{*name, size});
  }
  return out;
}

std::optional<int> DatNames::SourceSize(std::int32_t offset, const std::string& name) const {
  for (auto [it, end] = in_.sourceLabels.equal_range(offset); it != end; ++it) {
    if (UpperText(it->second.name) == UpperText(name)) {
      const int size = AlignedSize(offset, it->second.size);
      if (size != 0) return size;
    }
  }
  return std::nullopt;
}

bool DatNames::HasSourceLabels(std::int32_t from, std::int32_t to) const {
  const auto it = in_.sourceLabels.lower_bound(from);
  return it != in_.sourceLabels.end() && it->first < to;
}

}  // namespace brevin::recovery
