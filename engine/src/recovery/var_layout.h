// VAR declarations that give every variable the code uses the same offset:
// the compiler places the longs first, then the words, then the bytes.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "recovery/spin/naming.h"

namespace brevin::recovery {

struct VarLayout {
  std::vector<std::string> lines;               // the VAR block's lines, without "VAR"
  std::map<std::int32_t, DeclaredName> names;   // by offset: every variable declared
  bool exact = true;
  std::string difference;
};

// accessed: offset -> largest size in bytes the code reads or writes there;
// size: the object's own VAR bytes.
VarLayout LayOutVariables(const std::map<std::int32_t, int>& accessed, std::int32_t size);

// A declared variable of a source: element size in bytes, name, count.
struct NamedVariable {
  int size = 4;
  std::string name;
  int count = 1;
};

// The source's own VAR block, when the compiler gives it the same size and
// every accessed offset starts one of its variables, wide enough: none else.
std::optional<VarLayout> LayOutSourceVariables(const std::vector<NamedVariable>& declared,
                                               const std::map<std::int32_t, int>& accessed, std::int32_t size);

}  // namespace brevin::recovery
