// Names a recovered source may give its symbols: Spin identifiers that are not
// words of the language, kept unique ignoring case as the compiler compares them.
#pragma once

#include <set>
#include <string>
#include <string_view>

namespace brevin::recovery {

// Whether the compiler reads the word (any letter case) as one of its own
// symbols: block names, instructions, conditions, effects, registers, constants.
bool IsSpinReservedWord(std::string_view word);

// A letter or underscore, then letters, digits and underscores; not reserved.
bool IsUsableSpinName(std::string_view name);

// The names already taken in one object, compared ignoring case.
class SpinNameSet {
 public:
  bool Contains(std::string_view name) const;
  // Takes name when it is usable and free, else name with the first free
  // numeric suffix ("_2", "_3", ...); a name that is not usable at all is
  // replaced by fallback first. Returns the name taken.
  std::string Take(std::string_view name, std::string_view fallback);
  // Takes exactly this name; false when it is not usable or already taken.
  bool TakeExactly(std::string_view name);

 private:
  std::set<std::string> upper_;
};

}  // namespace brevin::recovery
