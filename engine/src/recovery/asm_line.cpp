// The instruction forms come from the assembler decoder: each mnemonic it can
// choose is looked up once to learn its instruction field, the R bit it
// implies and, for the hub operations, its fixed S field. The reading side
// follows the compiler's rules for an instruction line: CALL #x takes its D
// from the label x_ret, RET is JMP #0, JMP has no D, the hub operations take
// only D, WR and NR are refused on the hub reads and writes, and COGID and
// LOCKNEW write their result unless told NR.
#include "recovery/asm_line.h"
#include "brevin/text.h"

#include <array>
#include <cctype>
#include <vector>

#include "brevin/asm_instruction.h"
#include "isa/tables.h"

namespace brevin::recovery {

namespace {

constexpr std::uint32_t kFirstSpecialRegister = 0x1F0;
constexpr std::uint32_t kJmpField = 0x17;
constexpr std::uint32_t kHubOpField = 0x03;
constexpr std::uint32_t kRBit = 1U << 23;
constexpr std::uint32_t kIBit = 1U << 22;
constexpr std::uint32_t kCBit = 1U << 24;
constexpr std::uint32_t kZBit = 1U << 25;


struct Mnemonic {
  std::string name;          // upper case
  std::uint32_t field = 0;   // instruction field
  bool writes = false;       // the R bit the mnemonic alone gives
  int hubOp = -1;            // the S field of a named hub operation
};

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Trimmed(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return std::string(text);
}

// Every form the decoder can choose, found by decoding each instruction field
// with each R, I and low S value.
std::vector<Mnemonic> BuildMnemonics() {
  std::vector<Mnemonic> out;
  for (std::uint32_t field = 0; field < 64; ++field) {
    for (std::uint32_t bits = 0; bits < 64; ++bits) {
      const std::uint32_t r = bits & 1U, i = (bits >> 1) & 1U, s = bits >> 2 & 7U;
      const std::uint32_t word = field << 26 | r << 23 | i << 22 | 0xFU << 18 | s;
      for (const bool pair : {false, true}) {
        const AsmInstruction ins = DecodeAsm(word, pair);
        if (ins.mnemonic.empty()) continue;
        bool known = false;
        for (const Mnemonic& m : out) known = known || m.name == ins.mnemonic;
        if (known) continue;
        Mnemonic m{std::string(ins.mnemonic), field, ins.writesByDefault, -1};
        if (field == kHubOpField && i != 0 && m.name != "HUBOP") m.hubOp = static_cast<int>(s);
        // The compiler gives these two hub operations the R bit by itself.
        if (m.name == "COGID" || m.name == "LOCKNEW") m.writes = true;
        out.push_back(m);
      }
    }
  }
  return out;
}

const std::vector<Mnemonic>& Mnemonics() {
  static const std::vector<Mnemonic> table = BuildMnemonics();
  return table;
}

const Mnemonic* FindMnemonic(std::string_view upper) {
  for (const Mnemonic& m : Mnemonics()) {
    if (m.name == upper) return &m;
  }
  return nullptr;
}

std::string HexNumber(std::uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string digits;
  do {
    digits.insert(digits.begin(), kDigits[value & 0xFU]);
    value >>= 4;
  } while (value != 0);
  return "$" + digits;
}

std::string RegisterText(std::uint32_t reg, const CogNames& names) {
  if (const std::string* name = names.NameOf(reg)) return *name;
  if (reg >= kFirstSpecialRegister && reg < kFirstSpecialRegister + 16) {
    return std::string(SourceRegisterName(reg & 31));
  }
  return HexNumber(reg);
}

std::optional<std::uint32_t> NameValue(std::string_view name, const CogNames& names,
                                      std::optional<std::uint32_t> line = std::nullopt) {
  if (const std::optional<std::uint32_t> reg = names.RegisterOf(name, line)) return reg;
  const std::string upper = UpperText(name);
  for (std::uint32_t k = 0; k < 16; ++k) {
    if (UpperText(SourceRegisterName(16 + k)) == upper) return kFirstSpecialRegister + k;
  }
  return std::nullopt;
}

// A label, "$" and hex digits, or decimal digits; nullopt for anything else.
std::optional<std::uint32_t> OperandValue(std::string_view text, const CogNames& names,
                                         std::optional<std::uint32_t> line) {
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  if (text[0] == '$') {
    if (text.size() == 1) return std::nullopt;
    for (const char c : text.substr(1)) {
      if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
      value = value * 16 + static_cast<std::uint64_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                                                                                   : std::toupper(c) - 'A' + 10);
      if (value > 0xFFFFFFFFU) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
  }
  if (std::isdigit(static_cast<unsigned char>(text[0]))) {
    for (const char c : text) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
      value = value * 10 + static_cast<std::uint64_t>(c - '0');
      if (value > 0xFFFFFFFFU) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
  }
  return NameValue(text, names, line);
}

std::optional<std::uint32_t> ConditionValue(std::string_view lower) {
  if (lower == "if_always") return 15U;
  const AsmTables& tables = SharedTables().Asm;
  for (std::uint32_t c = 0; c < 15; ++c) {
    if (Lower(Trimmed(tables.ConditionNames[c])) == lower) return c;
  }
  return std::nullopt;
}

std::vector<std::string> Tokens(std::string_view line) {
  std::vector<std::string> out;
  std::string current;
  for (const char c : line) {
    if (c == ' ' || c == '\t' || c == ',') {
      if (!current.empty()) out.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) out.push_back(current);
  return out;
}

std::optional<AsmText> Checked(AsmText text, std::uint32_t word, const CogNames& names,
                               std::optional<std::uint32_t> line) {
  const std::optional<std::uint32_t> plain = AssembleAsmInstruction(text.Joined(), names, line);
  if (!plain) return std::nullopt;
  if ((*plain & kRBit) != (word & kRBit)) {
    const bool hasEffects = (word & (kZBit | kCBit)) != 0;
    text.operands += hasEffects ? ", " : text.operands.empty() ? "" : " ";
    text.operands += (word & kRBit) != 0 ? "wr" : "nr";
  }
  const std::optional<std::uint32_t> again = AssembleAsmInstruction(text.Joined(), names, line);
  if (!again || *again != word) return std::nullopt;
  return text;
}

std::string Effects(std::uint32_t word) {
  std::string out;
  if ((word & kZBit) != 0) out += "wz";
  if ((word & kCBit) != 0) out += out.empty() ? "wc" : ", wc";
  return out;
}

std::string WithEffects(std::string operands, std::uint32_t word) {
  const std::string effects = Effects(word);
  if (effects.empty()) return operands;
  return operands.empty() ? effects : operands + " " + effects;
}

}  // namespace

void CogNames::Add(std::uint32_t reg, const std::string& name) {
  if (const auto old = byRegister_.find(reg); old != byRegister_.end()) {
    const std::string upper = UpperText(old->second);
    if (old->second.starts_with(':')) {
      for (auto [it, end] = locals_.equal_range(upper); it != end; ++it) {
        if (it->second == reg) {
          locals_.erase(it);
          break;
        }
      }
    } else if (const auto g = byUpperName_.find(upper); g != byUpperName_.end() && g->second == reg) {
      byUpperName_.erase(g);
    }
  }
  byRegister_[reg] = name;
  if (name.starts_with(':')) {
    locals_.emplace(UpperText(name), reg);
  } else {
    byUpperName_[UpperText(name)] = reg;
    scopes_.insert(reg);
  }
}

void CogNames::StartScope(std::uint32_t reg) { scopes_.insert(reg); }

const std::string* CogNames::NameOf(std::uint32_t reg) const {
  const auto it = byRegister_.find(reg);
  return it == byRegister_.end() ? nullptr : &it->second;
}

std::optional<std::uint32_t> CogNames::ScopeOf(std::uint32_t reg) const {
  auto it = scopes_.upper_bound(reg);
  if (it == scopes_.begin()) return std::nullopt;
  return *std::prev(it);
}

std::optional<std::uint32_t> CogNames::RegisterOf(std::string_view name, std::optional<std::uint32_t> line) const {
  const std::string upper = UpperText(name);
  if (name.starts_with(':')) {
    for (auto [it, end] = locals_.equal_range(upper); it != end; ++it) {
      if (!line || ScopeOf(it->second) == ScopeOf(*line)) return it->second;
    }
    return std::nullopt;
  }
  const auto it = byUpperName_.find(upper);
  if (it == byUpperName_.end()) return std::nullopt;
  return it->second;
}

std::string AsmText::Joined() const {
  std::string out = condition;
  if (!out.empty()) out += ' ';
  out += mnemonic;
  if (!operands.empty()) out += " " + operands;
  return out;
}

std::string SourceNumber(std::uint32_t value) {
  return value < 1024 ? std::to_string(value) : HexNumber(value);
}

std::optional<AsmText> WriteAsmInstruction(std::uint32_t word, const CogNames& names, bool asReturn,
                                           bool addressImmediate, std::optional<std::uint32_t> line) {
  if (word == 0) return AsmText{"", "nop", ""};
  const std::uint32_t d = (word >> 9) & 0x1FFU, s = word & 0x1FFU;
  bool pair = false;
  if (const std::string *target = names.NameOf(s), *slot = names.NameOf(d); target != nullptr && slot != nullptr) {
    pair = UpperText(*slot) == UpperText(*target + "_ret");
  }
  const AsmInstruction ins = DecodeAsm(word, pair);
  if (ins.mnemonic.empty()) return std::nullopt;

  AsmText text;
  if (ins.condition != 15) text.condition = Lower(Trimmed(SharedTables().Asm.ConditionNames[ins.condition]));
  if (asReturn && ins.mnemonic == "JMP" && ins.immediate && s == 0 && d == 0) {
    text.mnemonic = "ret";
    text.operands = WithEffects("", word);
    return Checked(text, word, names, line);
  }
  text.mnemonic = Lower(ins.mnemonic);
  std::string operands;
  for (std::size_t k = 0; k < ins.operandCount; ++k) {
    const AsmOperand& op = ins.operands[k];
    switch (op.kind) {
      case AsmOperandKind::Register:
      case AsmOperandKind::ReturnRegister:
      case AsmOperandKind::JumpTarget:
      case AsmOperandKind::ReturnTarget: operands += RegisterText(op.value, names); break;
      case AsmOperandKind::Immediate:
        operands += "#" + (addressImmediate && names.NameOf(op.value) != nullptr ? *names.NameOf(op.value)
                                                                                  : SourceNumber(op.value));
        break;
      case AsmOperandKind::HubAddress: operands += SourceNumber(op.value); break;
      case AsmOperandKind::HiddenReturn:
      case AsmOperandKind::Indirect: break;  // marks the register operand before it
      case AsmOperandKind::Text: operands += op.value == ',' ? std::string(", ") : std::string(1, static_cast<char>(op.value)); break;
    }
  }
  text.operands = WithEffects(operands, word);
  if (std::optional<AsmText> written = Checked(text, word, names, line)) return written;
  // A JMP or CALL the short forms cannot give (a D field on a JMP, a CALL
  // whose return register has another name) is written as JMPRET.
  if (ins.opcode == kJmpField) {
    AsmText general{text.condition, "jmpret",
                    RegisterText(d, names) + ", " + (ins.immediate ? "#" : "") + RegisterText(s, names)};
    general.operands = WithEffects(general.operands, word);
    return Checked(general, word, names, line);
  }
  return std::nullopt;
}

std::optional<std::uint32_t> AssembleAsmInstruction(std::string_view source, const CogNames& names,
                                                    std::optional<std::uint32_t> line) {
  std::vector<std::string> tokens = Tokens(source);
  std::size_t at = 0;
  std::uint32_t condition = 15;
  if (at < tokens.size() && Lower(tokens[at]).starts_with("if_")) {
    const std::optional<std::uint32_t> c = ConditionValue(Lower(tokens[at]));
    if (!c) return std::nullopt;
    condition = *c;
    ++at;
  }
  if (at >= tokens.size()) return std::nullopt;
  const std::string mnemonic = UpperText(tokens[at++]);
  // Effects close the line; everything between is operands.
  std::size_t end = tokens.size();
  while (end > at) {
    const std::string effect = Lower(tokens[end - 1]);
    if (effect != "wz" && effect != "wc" && effect != "wr" && effect != "nr") break;
    --end;
  }
  const std::vector<std::string> operands(tokens.begin() + static_cast<std::ptrdiff_t>(at),
                                          tokens.begin() + static_cast<std::ptrdiff_t>(end));
  struct Operand {
    bool immediate = false;
    std::uint32_t value = 0;
  };
  std::vector<Operand> values;
  for (const std::string& text : operands) {
    Operand op;
    std::string_view body = text;
    if (!body.empty() && body[0] == '#') {
      op.immediate = true;
      body.remove_prefix(1);
    }
    if (mnemonic == "CALL") {
      values.push_back(op);
      continue;
    }
    const std::optional<std::uint32_t> v = OperandValue(body, names, line);
    if (!v || *v > 0x1FFU) return std::nullopt;
    op.value = *v;
    values.push_back(op);
  }

  std::uint32_t word = 0;
  if (mnemonic == "NOP") {
    if (condition != 15 || !values.empty() || end != tokens.size()) return std::nullopt;
    return 0U;
  }
  if (mnemonic == "RET") {
    if (!values.empty()) return std::nullopt;
    word = kJmpField << 26 | kIBit;
  } else if (mnemonic == "CALL") {
    // CALL #x: S is the label x, D the label x_ret; both must be labels.
    if (operands.size() != 1 || !values[0].immediate) return std::nullopt;
    const std::string name = operands[0].substr(1);
    const std::optional<std::uint32_t> target = NameValue(name, names);
    const std::optional<std::uint32_t> slot = NameValue(name + "_ret", names);
    if (!target || !slot || *target >= kFirstSpecialRegister || *slot >= kFirstSpecialRegister) return std::nullopt;
    word = kJmpField << 26 | kRBit | kIBit | *slot << 9 | *target;
  } else {
    const Mnemonic* m = FindMnemonic(mnemonic);
    if (m == nullptr) return std::nullopt;
    word = m->field << 26 | (m->writes ? kRBit : 0U);
    if (m->hubOp >= 0) {
      if (values.size() != 1 || values[0].immediate) return std::nullopt;
      word |= kIBit | values[0].value << 9 | static_cast<std::uint32_t>(m->hubOp);
    } else if (mnemonic == "JMP") {
      if (values.size() != 1) return std::nullopt;
      word |= (values[0].immediate ? kIBit : 0U) | values[0].value;
    } else {
      if (values.size() != 2 || values[0].immediate) return std::nullopt;
      word |= values[0].value << 9 | (values[1].immediate ? kIBit : 0U) | values[1].value;
    }
  }
  word |= condition << 18;
  for (std::size_t k = end; k < tokens.size(); ++k) {
    const std::string effect = Lower(tokens[k]);
    if ((effect == "wr" || effect == "nr") && (word >> 26) <= 2) return std::nullopt;
    if (effect == "wz") word |= kZBit;
    if (effect == "wc") word |= kCBit;
    if (effect == "wr") word |= kRBit;
    if (effect == "nr") word &= ~kRBit;
  }
  return word;
}

}  // namespace brevin::recovery
