// VAR declarations that give every variable the code uses the same offset:
// the compiler places the longs first, then the words, then the bytes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "recovery/method_body.h"

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

}  // namespace brevin::recovery
