// One assembler long as a line of source, and the compiler's reading of such a
// line back into a long, so that every written instruction can be checked to
// give its long again.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace brevin::recovery {

// The labels of one program by cog register; a name ending in "_ret" after a
// routine's name lets a JMPRET be written as CALL. A name starting with ':'
// is local: the compiler knows it only between the global label before it
// and the next one, so it is looked up from a line in that stretch.
class CogNames {
 public:
  void Add(std::uint32_t reg, const std::string& name);  // replaces the register's name
  // A global label on a line at reg that names no register (a data label).
  void StartScope(std::uint32_t reg);
  const std::string* NameOf(std::uint32_t reg) const;
  // Ignoring case; a local name from the line at line (any, without one).
  std::optional<std::uint32_t> RegisterOf(std::string_view name, std::optional<std::uint32_t> line = std::nullopt) const;
  // The register of the last global label at or before reg.
  std::optional<std::uint32_t> ScopeOf(std::uint32_t reg) const;
  const std::map<std::uint32_t, std::string>& All() const { return byRegister_; }

 private:
  std::map<std::uint32_t, std::string> byRegister_;
  std::map<std::string, std::uint32_t> byUpperName_;    // global names
  std::multimap<std::string, std::uint32_t> locals_;    // upper-case local names
  std::set<std::uint32_t> scopes_;
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
// reassembles to word with the same names, local ones as seen from register
// line.
std::optional<AsmText> WriteAsmInstruction(std::uint32_t word, const CogNames& names, bool asReturn,
                                           bool addressImmediate = false,
                                           std::optional<std::uint32_t> line = std::nullopt);

// The long the compiler assembles from one instruction line in the forms
// WriteAsmInstruction writes (no label), or nullopt when it would refuse it;
// line is the line's register, for local names.
std::optional<std::uint32_t> AssembleAsmInstruction(std::string_view text, const CogNames& names,
                                                    std::optional<std::uint32_t> line = std::nullopt);

// A number as source: decimal below 1024, else "$" and hex digits.
std::string SourceNumber(std::uint32_t value);

}  // namespace brevin::recovery
