// The names of one DAT block's labels. The names the object gives other
// things and the names of its source's labels are taken first, so that no
// listing or generated name takes one of them, and each source name goes to
// the one place the source gives it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recovery/dat_data.h"
#include "recovery/dat_section.h"
#include "recovery/spin_names.h"

namespace brevin::recovery {

class DatNames {
 public:
  explicit DatNames(const DatSectionInput& in);

  // The source's name for a place (an object offset, or a ReservedPlace),
  // when it is usable, no other name of the object has it and no other place
  // took it first.
  std::optional<std::string> Source(const std::string& name, std::int64_t place);
  // The place of a "res" register past a program's bytes.
  static std::int64_t ReservedPlace(std::int32_t programStart, std::int32_t reg);

  // The source's global labels at an object offset in source order, but the
  // one named except; a size the offset is not aligned to becomes a byte.
  std::vector<WantedLabel> SourceLabelsAt(std::int32_t offset, const std::string* except = nullptr);
  // The size of the source's label of that name at the offset.
  std::optional<int> SourceSize(std::int32_t offset, const std::string& name) const;
  bool HasSourceLabels(std::int32_t from, std::int32_t to) const;

  // name when usable and free, else with the first free suffix; fallback
  // when name is not usable at all.
  std::string Take(std::string_view name, std::string_view fallback) { return taken_.Take(name, fallback); }
  bool TakeExactly(std::string_view name) { return taken_.TakeExactly(name); }

 private:
  struct Reserved {
    bool usable = false;
    std::optional<std::int64_t> place;
  };
  const DatSectionInput& in_;
  SpinNameSet taken_;
  std::map<std::string, Reserved> source_;  // by upper-case name
};

// A local label as the compiler takes it: ':', then a letter or underscore,
// then letters, digits and underscores.
bool IsLocalLabel(std::string_view name);

}  // namespace brevin::recovery
