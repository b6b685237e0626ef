// A Spin method's bytecode read back into a syntax tree: the control
// structures the compiler emits (if/elseif/else, case, every repeat form,
// next/quit, lookup/lookdown) and the expressions rebuilt from the operand
// stack.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "recovery/spin/syntax.h"

namespace brevin::recovery::spin {

struct MethodTree {
  StmtList body;             // when not exact: the statements read before the difference
  bool exact = true;
  std::string difference;    // why not, when not exact
  std::int32_t codeEnd = 0;  // offset after the code (strings follow)
};

// Reads the method whose code starts at start and whose bytes (code and
// strings) end at end, inside the object's bytes.
MethodTree ReadMethod(std::span<const std::uint8_t> object, std::int32_t start, std::int32_t end);

}  // namespace brevin::recovery::spin
