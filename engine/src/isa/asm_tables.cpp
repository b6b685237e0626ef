#include "isa/asm_tables.h"

namespace brevin {

namespace {

struct AsmDefinition {
  std::string_view pattern;
  std::string_view choiceText;
};

// Choice texts: a text beginning with "?x" is split at the next "?x" into the form for a
// false test (between the markers) and the forms for a true test (after them). Selectors:
// w = R bit, i = I bit, p = D and S are not a known call pair, 0..7 = S AND 7 differs.
// The flag group "Z C R I" documents the encoding: "001i" writes its result by default,
// "000i" does not, and "?" in the R position means the R bit selects the form.
constexpr AsmDefinition kDefinitions[] = {
    {"000000 00?i 1111 ddddddddd sssssssss", "?w?iWRBYTE d,s?iWRBYTE d,#m?w?iRDBYTE d,s?iRDBYTE d,#m"},
    {"000001 00?i 1111 ddddddddd sssssssss", "?w?iWRWORD d,s?iWRWORD d,#m?w?iRDWORD d,s?iRDWORD d,#m"},
    {"000010 00?i 1111 ddddddddd sssssssss", "?w?iWRLONG d,s?iWRLONG d,#m?w?iRDLONG d,s?iRDLONG d,#m"},
    {"000011 00?? 1111 ddddddddd ssssss???",
     "?iHUBOP d,s?i?0CLKSET d?0?1COGID d?1?2COGINIT d?2?3COGSTOP d?3?4LOCKNEW d?4?5LOCKRET d?5?6LOCKSET d?6"
     "?7LOCKCLR d?7HUBOP d,s"},
    {"001000 001i 1111 ddddddddd sssssssss", "ROR d,s"},
    {"001001 001i 1111 ddddddddd sssssssss", "ROL d,s"},
    {"001010 001i 1111 ddddddddd sssssssss", "SHR d,s"},
    {"001011 001i 1111 ddddddddd sssssssss", "SHL d,s"},
    {"001100 001i 1111 ddddddddd sssssssss", "RCR d,s"},
    {"001101 001i 1111 ddddddddd sssssssss", "RCL d,s"},
    {"001110 001i 1111 ddddddddd sssssssss", "SAR d,s"},
    {"001111 001i 1111 ddddddddd sssssssss", "REV d,s"},
    {"010000 001i 1111 ddddddddd sssssssss", "MINS d,s"},
    {"010001 001i 1111 ddddddddd sssssssss", "MAXS d,s"},
    {"010010 001i 1111 ddddddddd sssssssss", "MIN d,s"},
    {"010011 001i 1111 ddddddddd sssssssss", "MAX d,s"},
    {"010100 001i 1111 ddddddddd sssssssss", "MOVS d,s"},
    {"010101 001i 1111 ddddddddd sssssssss", "MOVD d,s"},
    {"010110 001i 1111 ddddddddd sssssssss", "MOVI d,s"},
    {"010111 00?? 1111 ddddddddd sssssssss", "?w?iJMP s*?iJMP #r?w?iJMPRET c,s?i?pCALL e#j?pJMPRET c,#j"},
    {"011000 00?i 1111 ddddddddd sssssssss", "?wTEST d,s?wAND d,s"},
    {"011001 001i 1111 ddddddddd sssssssss", "ANDN d,s"},
    {"011010 001i 1111 ddddddddd sssssssss", "OR d,s"},
    {"011011 001i 1111 ddddddddd sssssssss", "XOR d,s"},
    {"011100 001i 1111 ddddddddd sssssssss", "MUXC d,s"},
    {"011101 001i 1111 ddddddddd sssssssss", "MUXNC d,s"},
    {"011110 001i 1111 ddddddddd sssssssss", "MUXZ d,s"},
    {"011111 001i 1111 ddddddddd sssssssss", "MUXNZ d,s"},
    {"100000 001i 1111 ddddddddd sssssssss", "ADD d,s"},
    {"100001 00?i 1111 ddddddddd sssssssss", "?wCMP d,s?wSUB d,s"},
    {"100010 001i 1111 ddddddddd sssssssss", "ADDABS d,s"},
    {"100011 001i 1111 ddddddddd sssssssss", "SUBABS d,s"},
    {"100100 001i 1111 ddddddddd sssssssss", "SUMC d,s"},
    {"100101 001i 1111 ddddddddd sssssssss", "SUMNC d,s"},
    {"100110 001i 1111 ddddddddd sssssssss", "SUMZ d,s"},
    {"100111 001i 1111 ddddddddd sssssssss", "SUMNZ d,s"},
    {"101000 001i 1111 ddddddddd sssssssss", "MOV d,s"},
    {"101001 001i 1111 ddddddddd sssssssss", "NEG d,s"},
    {"101010 001i 1111 ddddddddd sssssssss", "ABS d,s"},
    {"101011 001i 1111 ddddddddd sssssssss", "ABSNEG d,s"},
    {"101100 001i 1111 ddddddddd sssssssss", "NEGC d,s"},
    {"101101 001i 1111 ddddddddd sssssssss", "NEGNC d,s"},
    {"101110 001i 1111 ddddddddd sssssssss", "NEGZ d,s"},
    {"101111 001i 1111 ddddddddd sssssssss", "NEGNZ d,s"},
    {"110000 000i 1111 ddddddddd sssssssss", "CMPS d,s"},
    {"110001 000i 1111 ddddddddd sssssssss", "CMPSX d,s"},
    {"110010 001i 1111 ddddddddd sssssssss", "ADDX d,s"},
    {"110011 00?i 1111 ddddddddd sssssssss", "?wCMPX d,s?wSUBX d,s"},
    {"110100 001i 1111 ddddddddd sssssssss", "ADDS d,s"},
    {"110101 001i 1111 ddddddddd sssssssss", "SUBS d,s"},
    {"110110 001i 1111 ddddddddd sssssssss", "ADDSX d,s"},
    {"110111 001i 1111 ddddddddd sssssssss", "SUBSX d,s"},
    {"111000 001i 1111 ddddddddd sssssssss", "CMPSUB d,s"},
    {"111001 001i 1111 ddddddddd sssssssss", "?iDJNZ d,s?iDJNZ d,#j"},
    {"111010 000i 1111 ddddddddd sssssssss", "?iTJNZ d,s?iTJNZ d,#j"},
    {"111011 000i 1111 ddddddddd sssssssss", "?iTJZ d,s?iTJZ d,#j"},
    {"111100 000i 1111 ddddddddd sssssssss", "WAITPEQ d,s"},
    {"111101 000i 1111 ddddddddd sssssssss", "WAITPNE d,s"},
    {"111110 001i 1111 ddddddddd sssssssss", "WAITCNT d,s"},
    {"111111 000i 1111 ddddddddd sssssssss", "WAITVID d,s"},
};

// Indexed by the condition field, padded to the opcode column; 15 ("always") shows nothing.
constexpr std::string_view kConditionNames[kAsmConditionCount] = {
    "IF_NEVER        ", "IF_NC_AND_NZ    ", "IF_NC_AND_Z     ", "IF_NC           ",
    "IF_C_AND_NZ     ", "IF_NZ           ", "IF_C_NE_Z       ", "IF_NC_OR_NZ     ",
    "IF_C_AND_Z      ", "IF_C_EQ_Z       ", "IF_Z            ", "IF_NC_OR_Z      ",
    "IF_C            ", "IF_C_OR_NZ      ", "IF_C_OR_Z       ", "                ",
};

constexpr AsmTables BuildAssemblerTables() {
  AsmTables tables;
  for (const AsmDefinition& def : kDefinitions) DefineAsmOpcode(tables, def.choiceText, def.pattern);
  for (std::size_t c = 0; c < kAsmConditionCount; ++c) tables.ConditionNames[c] = kConditionNames[c];
  return tables;
}

constexpr bool AllConditionNamesFillTheColumn() {
  for (std::string_view name : kConditionNames) {
    if (name.size() != kConditionWidth) return false;
  }
  return true;
}
static_assert(AllConditionNamesFillTheColumn(), "every condition name is padded to the opcode column");

constexpr AsmTables kAssemblerTables = BuildAssemblerTables();

}  // namespace

const AsmTables& BuiltInAssemblerTables() { return kAssemblerTables; }

}  // namespace brevin
