#include "recovery/spin_names.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace brevin::recovery {

namespace {

// Every symbol of the compiler's own table, upper case and sorted; plus the
// clock and stack constants the compiler looks for by name.
constexpr std::array kReserved = {
    "ABORT",
    "ABS",
    "ABSNEG",
    "ADD",
    "ADDABS",
    "ADDS",
    "ADDSX",
    "ADDX",
    "AND",
    "ANDN",
    "ARCHIVE",
    "BYTE",
    "BYTEFILL",
    "BYTEMOVE",
    "CALL",
    "CASE",
    "CHIPVER",
    "CLKFREQ",
    "CLKMODE",
    "CLKSET",
    "CMP",
    "CMPS",
    "CMPSUB",
    "CMPSX",
    "CMPX",
    "CNT",
    "COGID",
    "COGINIT",
    "COGNEW",
    "COGSTOP",
    "CON",
    "CONSTANT",
    "CTRA",
    "CTRB",
    "DAT",
    "DEV",
    "DIRA",
    "DIRB",
    "DJNZ",
    "ELSE",
    "ELSEIF",
    "ELSEIFNOT",
    "ENC",
    "FALSE",
    "FILE",
    "FIT",
    "FLOAT",
    "FROM",
    "FRQA",
    "FRQB",
    "HUBOP",
    "IF",
    "IFNOT",
    "IF_A",
    "IF_AE",
    "IF_ALWAYS",
    "IF_B",
    "IF_BE",
    "IF_C",
    "IF_C_AND_NZ",
    "IF_C_AND_Z",
    "IF_C_EQ_Z",
    "IF_C_NE_Z",
    "IF_C_OR_NZ",
    "IF_C_OR_Z",
    "IF_E",
    "IF_NC",
    "IF_NC_AND_NZ",
    "IF_NC_AND_Z",
    "IF_NC_OR_NZ",
    "IF_NC_OR_Z",
    "IF_NE",
    "IF_NEVER",
    "IF_NZ",
    "IF_NZ_AND_C",
    "IF_NZ_AND_NC",
    "IF_NZ_OR_C",
    "IF_NZ_OR_NC",
    "IF_Z",
    "IF_Z_AND_C",
    "IF_Z_AND_NC",
    "IF_Z_EQ_C",
    "IF_Z_NE_C",
    "IF_Z_OR_C",
    "IF_Z_OR_NC",
    "INA",
    "INB",
    "JMP",
    "JMPRET",
    "LOCKCLR",
    "LOCKNEW",
    "LOCKRET",
    "LOCKSET",
    "LONG",
    "LONGFILL",
    "LONGMOVE",
    "LOOKDOWN",
    "LOOKDOWNZ",
    "LOOKUP",
    "LOOKUPZ",
    "MAX",
    "MAXS",
    "MIN",
    "MINS",
    "MOV",
    "MOVD",
    "MOVI",
    "MOVS",
    "MUL",
    "MULS",
    "MUXC",
    "MUXNC",
    "MUXNZ",
    "MUXZ",
    "NEG",
    "NEGC",
    "NEGNC",
    "NEGNZ",
    "NEGX",
    "NEGZ",
    "NEXT",
    "NOP",
    "NOT",
    "NR",
    "OBJ",
    "ONES",
    "OR",
    "ORG",
    "ORGX",
    "OTHER",
    "OUTA",
    "OUTB",
    "PAR",
    "PHSA",
    "PHSB",
    "PI",
    "PLL16X",
    "PLL1X",
    "PLL2X",
    "PLL4X",
    "PLL8X",
    "POSX",
    "PRECOMPILE",
    "PRI",
    "PUB",
    "QUIT",
    "RCFAST",
    "RCL",
    "RCR",
    "RCSLOW",
    "RDBYTE",
    "RDLONG",
    "RDWORD",
    "REBOOT",
    "REPEAT",
    "RES",
    "RESULT",
    "RET",
    "RETURN",
    "REV",
    "ROL",
    "ROR",
    "ROUND",
    "SAR",
    "SHL",
    "SHR",
    "SPR",
    "STEP",
    "STRCOMP",
    "STRING",
    "STRSIZE",
    "SUB",
    "SUBABS",
    "SUBS",
    "SUBSX",
    "SUBX",
    "SUMC",
    "SUMNC",
    "SUMNZ",
    "SUMZ",
    "TEST",
    "TESTN",
    "TJNZ",
    "TJZ",
    "TO",
    "TRUE",
    "TRUNC",
    "UNTIL",
    "VAR",
    "VCFG",
    "VSCL",
    "WAITCNT",
    "WAITPEQ",
    "WAITPNE",
    "WAITVID",
    "WC",
    "WHILE",
    "WORD",
    "WORDFILL",
    "WORDMOVE",
    "WR",
    "WRBYTE",
    "WRLONG",
    "WRWORD",
    "WZ",
    "XINPUT",
    "XOR",
    "XTAL1",
    "XTAL2",
    "XTAL3",
    "_CLKFREQ",
    "_CLKMODE",
    "_FREE",
    "_STACK",
    "_XINFREQ",
};

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

bool IsSpinReservedWord(std::string_view word) {
  const std::string upper = Upper(word);
  return std::binary_search(kReserved.begin(), kReserved.end(), std::string_view(upper));
}

bool IsUsableSpinName(std::string_view name) {
  if (name.empty() || name.size() > 30) return false;
  const auto first = static_cast<unsigned char>(name[0]);
  if (!std::isalpha(first) && first != '_') return false;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (!std::isalnum(u) && u != '_') return false;
  }
  return !IsSpinReservedWord(name);
}

bool SpinNameSet::Contains(std::string_view name) const { return upper_.contains(Upper(name)); }

bool SpinNameSet::TakeExactly(std::string_view name) {
  if (!IsUsableSpinName(name) || Contains(name)) return false;
  upper_.insert(Upper(name));
  return true;
}

std::string SpinNameSet::Take(std::string_view name, std::string_view fallback) {
  const std::string base(IsUsableSpinName(name) ? name : fallback);
  if (TakeExactly(base)) return base;
  for (int n = 2;; ++n) {
    std::string candidate = base + "_" + std::to_string(n);
    if (TakeExactly(candidate)) return candidate;
  }
}

}  // namespace brevin::recovery
