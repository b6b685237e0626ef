// One assembler long as a line of source, and the compiler's reading of such a
// line back into a long, so that every written instruction can be checked to
// give its long again.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace brevin::recovery {

// The labels of one program by cog register; a name ending in "_ret" after a
// routine's name lets a JMPRET be written as CALL.
class CogNames {
 public:
  void Add(std::uint32_t reg, const std::string& name);
  const std::string* NameOf(std::uint32_t reg) const;
  std::optional<std::uint32_t> RegisterOf(std::string_view name) const;  // ignoring case

 private:
  std::map<std::uint32_t, std::string> byRegister_;
  std::map<std::string, std::uint32_t> byUpperName_;
};

struct AsmText {
  std::string condition;  // "if_z", or empty for always
  std::string mnemonic;   // lower case
  std::string operands;   // operands, then effects ("x, #5 wz, wc")
  std::string Joined() const;
};

// The source of the long as an instruction, or nullopt when the compiler
// cannot give this long from any form written here (undefined instruction
// fields, a JMP with a D field, ...). asReturn writes JMP #0 as RET;
// addressImmediate writes an immediate S that is a named register as its
// label (a code address given to a register or a jump). The result always
// reassembles to word with the same names.
std::optional<AsmText> WriteAsmInstruction(std::uint32_t word, const CogNames& names, bool asReturn,
                                           bool addressImmediate = false);

// The long the compiler assembles from one instruction line in the forms
// WriteAsmInstruction writes (no label), or nullopt when it would refuse it.
std::optional<std::uint32_t> AssembleAsmInstruction(std::string_view line, const CogNames& names);

// A number as source: decimal below 1024, else "$" and hex digits.
std::string SourceNumber(std::uint32_t value);

}  // namespace brevin::recovery
