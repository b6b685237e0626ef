// The CON block of a Spin source evaluated as the compiler evaluates it:
// integer expressions over numbers, characters and the block's own names,
// enumerations (#start, A, B[step], C). A name whose value the block cannot
// give here (a float, a child object's constant) is left out.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brevin::recovery {

struct SourceConstant {
  std::string name;        // as the source spells it
  std::int64_t value = 0;  // 32 bits, sign-extended
  std::string text;        // the expression as the source writes it; empty for an enumeration's member
};

class SourceConstants {
 public:
  // Reads the CON lines (the text after "CON" on the block's first line
  // included), comments already removed.
  void ReadLines(const std::vector<std::string>& lines);

  // The value of an expression over numbers and the constants read.
  std::optional<std::int64_t> Evaluate(std::string_view expression) const;
  std::optional<std::int64_t> Value(std::string_view name) const;

  const std::vector<SourceConstant>& All() const { return constants_; }

 private:
  std::vector<SourceConstant> constants_;
  std::map<std::string, std::size_t> byUpperName_;
};

}  // namespace brevin::recovery
