// Writes a method's tree as Spin text: one line a statement with its indent
// and the offset of its first bytecode. The printer decides brackets and how
// each constant is spelled; names come from the naming hooks.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <set>

#include "recovery/spin/naming.h"
#include "recovery/spin/syntax.h"
#include "recovery/spin/value_use.h"

namespace brevin::recovery {

// A line of a method body: its indent (in steps of two spaces), its text and
// the object offset of its first bytecode.
struct BodyLine {
  int indent = 0;
  std::string text;
  std::int32_t offset = 0;
  std::int32_t closing = -1;  // a repeat line: where the bytes that close its loop start
};

// What a constant stands for where it is used, as far as the tree tells.
enum class ConstantUse : std::uint8_t {
  Plain,      // a number
  Mask,       // an operand of &, |, ^: bits
  Character,  // compared with or sent as a byte of text
  Boolean,    // a truth value
};

// How constants are spelled: a CON name for a value where the object defines
// one, and whether characters and the truth names may be written.
struct Spelling {
  // A name for the value in this use on the method's line-th line, when the
  // object's constants give one.
  std::function<std::optional<std::string>(std::int64_t value, ConstantUse use, std::size_t line)> constantName;
  bool characters = true;  // printable bytes in text places as "c"
  bool truthNames = true;  // TRUE, FALSE, NEGX, POSX
  // Whether argument arg (0-based) of a call takes a character.
  std::function<bool(const spin::Callee& callee, int arg)> characterArgument;
  // A child's constant for a number passed to it in that use ("ser#CR"),
  // when the call is into a child object whose constants give one.
  std::function<std::optional<std::string>(const spin::Callee& callee, std::int64_t value, ConstantUse use)>
      childConstant;
  // The method's variables that hold characters and truth values, and what
  // the program's values stand for (the method is the object's method'th).
  std::set<spin::Slot> textSlots;
  std::set<spin::Slot> truthSlots;
  std::set<spin::Slot> flagSlots;  // given TRUE and FALSE among numbers
  const spin::ValueUse* values = nullptr;
  int object = 0;
  int method = 0;
};

struct PrintedBody {
  std::vector<BodyLine> lines;
  std::string difference;  // a call whose argument count differs from its method's, when one does
};

PrintedBody PrintMethod(const spin::StmtList& body, const BodyNaming& naming, const Spelling& spelling);

}  // namespace brevin::recovery
