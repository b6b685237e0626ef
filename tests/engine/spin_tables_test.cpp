#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "isa/spin_reports.h"
#include "isa/spin_tables.h"

namespace brevin {
namespace {

const SpinTables& Tables() {
  return BuiltInSpinTables();
}

void ExpectOpcode(int op, const std::string& mnemonic, const std::string& format) {
  const SpinOpcodeEntry& e = Tables().SpinOpcodeTable[static_cast<std::size_t>(op)];
  EXPECT_EQ(e.Mnemonic, mnemonic) << "opcode " << op;
  EXPECT_EQ(e.OperandFormat, format) << "opcode " << op;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
}

// --- Builder rules --------------------------------------------------------------------

TEST(SpinTableBuilder, DefineOpcodeSplitsAtFirstSpace) {
  SpinTableBuilder b;
  b.DefineOpcode("FRAME f+CALL WITH RETURN VALUE");
  b.DefineOpcode("JPF    a ");  // only leading blanks of the format go
  b.DefineOpcode("LOOKEND");
  b.DefineOpcode("");  // empty text: the decimal index names the entry
  for (int i = 0; i < 300; ++i) b.DefineOpcode("X");  // overflow is dropped
  std::vector<std::string> names;  // the tables view the texts: they must outlive them
  for (int i = 0; i < 40; ++i) names.push_back("R" + std::to_string(i));
  for (const std::string& name : names) b.DefineRegister(name);
  const SpinTables& t = b.Tables();
  EXPECT_EQ(t.SpinOpcodeTable[0].Mnemonic, "FRAME");
  EXPECT_EQ(t.SpinOpcodeTable[0].OperandFormat, "f+CALL WITH RETURN VALUE");
  EXPECT_EQ(t.SpinOpcodeTable[1].Mnemonic, "JPF");
  EXPECT_EQ(t.SpinOpcodeTable[1].OperandFormat, "a ");
  EXPECT_EQ(t.SpinOpcodeTable[2].Mnemonic, "LOOKEND");
  EXPECT_EQ(t.SpinOpcodeTable[2].OperandFormat, "");
  EXPECT_EQ(t.SpinOpcodeTable[3].Mnemonic, "3");
  EXPECT_EQ(t.RegisterNames[31], "R31");
}

TEST(SpinTableBuilder, DefineEffectSplitAndGroupRules) {
  SpinTableBuilder b;
  b.DefineEffect(0, "COPY");          // group 0..3
  b.DefineEffect(2, "RPTINCJ");       // overwrites one member
  b.DefineEffect(60, "POSTDEC DEC");  // group 60..63, split into both halves
  b.DefineEffect(64, "A B C");        // 64 is not below 64: single entry
  b.DefineEffect(9, "ONE");           // not a multiple of 4: single entry
  b.DefineEffect(0x90, "LOW HIGH");   // the high entry would be $110: dropped
  const auto& n = b.Tables().SpinEffectNames;
  EXPECT_EQ(n[1], "COPY");
  EXPECT_EQ(n[0x83], "COPY");
  EXPECT_EQ(n[2], "RPTINCJ");
  EXPECT_EQ(n[0x82], "RPTINCJ");
  for (int i = 60; i < 64; ++i) {
    EXPECT_EQ(n[static_cast<std::size_t>(i)], "POSTDEC") << i;
    EXPECT_EQ(n[static_cast<std::size_t>(i + 0x80)], "DEC") << i;
  }
  EXPECT_EQ(n[64], "A");
  EXPECT_EQ(n[0xC0], "B C");
  EXPECT_EQ(n[65], "");
  EXPECT_EQ(n[9], "ONE");
  EXPECT_EQ(n[10], "");
  EXPECT_EQ(n[0x90], "LOW");
}

// --- Built-in opcode table -----------------------------------------------------------

TEST(SpinOpcodeTable, SingleDefinitionRows) {
  ExpectOpcode(0x00, "FRAME", "f+CALL WITH RETURN VALUE");
  ExpectOpcode(0x03, "FRAME", "f-CALL IGNORING ABORT TRAP");
  ExpectOpcode(0x07, "CALLOBJ", "p[]u");
  ExpectOpcode(0x09, "LOOPRPT", "a<");
  ExpectOpcode(0x0C, "GOTO[]", "*");
  ExpectOpcode(0x0F, "LOOKEND", "");
  ExpectOpcode(0x14, "QUIT???", "");
  ExpectOpcode(0x26, "USING", "SPR[]");
  ExpectOpcode(0x2C, "COGISUB", "*");
  ExpectOpcode(0x33, "RETVAL", "*u_");
  ExpectOpcode(0x34, "PUSH", "m#-1");
  ExpectOpcode(0x35, "PUSH", "m#0");
  ExpectOpcode(0x36, "PUSH", "m#1");
  ExpectOpcode(0x37, "PUSH", "#kp");
  ExpectOpcode(0x3B, "PUSH", "#k<4");
  ExpectOpcode(0x3C, "?3C", "");
  ExpectOpcode(0x3E, "REG", "r[..]");
  ExpectOpcode(0xE0, "ROR", "");
  ExpectOpcode(0xF5, "MPY_MSW", "");
  ExpectOpcode(0xF8, "SQRT", "");
  ExpectOpcode(0xFF, "LOG_NOT", "");
  for (const SpinOpcodeEntry& e : Tables().SpinOpcodeTable) {
    EXPECT_FALSE(e.Mnemonic.empty());
    EXPECT_LE(e.Mnemonic.size(), 7u) << e.Mnemonic;
  }
}

TEST(SpinOpcodeTable, FastVariableRowsRepeatPerGroupOfFour) {
  const char* mnemonics[] = {"PUSH", "POP", "USING", "PUSH"};
  for (int op = 0x40; op < 0x80; ++op) {
    const std::string base = op < 0x60 ? "VAR" : "LOC";
    const std::string body = base + "+dl";
    ExpectOpcode(op, mnemonics[op & 3], (op & 3) == 3 ? "##" + body : body);
  }
}

TEST(SpinOpcodeTable, MemoryAccessRowsFollowSizeIndexBaseLayout) {
  const char* mnemonics[] = {"PUSH", "POP", "USING", "PUSH"};
  const char* bases[] = {"MEM[]", "OBJ+v", "VAR+v", "LOC+v"};
  const char sizes[] = {'b', 'w', 'l'};
  for (int op = 0x80; op < 0xE0; ++op) {
    const int size = (op - 0x80) >> 5;
    const bool indexed = (op & 0x10) != 0;
    const int base = (op >> 2) & 3;
    std::string body = std::string(bases[base]) + (indexed ? "[]" : "") + sizes[size];
    std::string format = (op & 3) == 3 ? "##" + body : body;
    if (op == 0xC7) format += "m";
    ExpectOpcode(op, mnemonics[op & 3], format);
  }
  // Pinned by hand as well, so the loop above cannot share a mistake with the table.
  ExpectOpcode(0x80, "PUSH", "MEM[]b");
  ExpectOpcode(0xBA, "USING", "VAR+v[]w");
  ExpectOpcode(0xC3, "PUSH", "##MEM[]l");
  ExpectOpcode(0xC7, "PUSH", "##OBJ+vlm");
  ExpectOpcode(0xCB, "PUSH", "##VAR+vl");
  ExpectOpcode(0xCF, "PUSH", "##LOC+vl");
  ExpectOpcode(0xDD, "POP", "LOC+v[]l");
}

// --- Built-in effect and register names -----------------------------------------------

TEST(SpinEffectNames, GroupsAndEmptySlots) {
  const auto& n = Tables().SpinEffectNames;
  EXPECT_EQ(n[0x00], "COPY");
  EXPECT_EQ(n[0x80], "COPY");
  EXPECT_EQ(n[0x02], "RPTINCJ");
  EXPECT_EQ(n[0x86], "RPTADDJ");
  EXPECT_EQ(n[0x0B], "FWDRAND");
  EXPECT_EQ(n[0x97], "SEXWORD");
  EXPECT_EQ(n[0x1C], "POSTSET");
  for (int i : {0x01, 0x03, 0x04, 0x05, 0x07, 0x60, 0x7F}) {
    EXPECT_EQ(n[static_cast<std::size_t>(i)], "") << i;
    EXPECT_EQ(n[static_cast<std::size_t>(i + 0x80)], "") << i;
  }
  const char* low[] = {"PREINC", "POSTINC", "PREDEC", "POSTDEC"};
  const char* high[] = {"INC", "INC", "DEC", "DEC"};
  for (int i = 0x20; i < 0x40; ++i) {
    EXPECT_EQ(n[static_cast<std::size_t>(i)], low[(i - 0x20) / 8]) << i;
    EXPECT_EQ(n[static_cast<std::size_t>(i + 0x80)], high[(i - 0x20) / 8]) << i;
  }
}

TEST(SpinEffectNames, OperatorEffectsDifferFromOpcodesAtTwoPlaces) {
  const auto& t = Tables();
  for (int k = 0; k < 32; ++k) {
    const std::string_view effect = t.SpinEffectNames[static_cast<std::size_t>(0x40 + k)];
    EXPECT_EQ(effect, t.SpinEffectNames[static_cast<std::size_t>(0xC0 + k)]) << k;
    if (k == 0x15 || k == 0x18) continue;
    EXPECT_EQ(effect, t.SpinOpcodeTable[static_cast<std::size_t>(0xE0 + k)].Mnemonic) << k;
  }
  EXPECT_EQ(t.SpinEffectNames[0x55], "MPY_BIG");
  EXPECT_EQ(t.SpinEffectNames[0x58], "SQR");
}

TEST(RegisterNames, MemorySlotsThenNamedRegisters) {
  const auto& r = Tables().RegisterNames;
  EXPECT_EQ(r[0], "MEM+0");
  EXPECT_EQ(r[15], "MEM+15");
  EXPECT_EQ(r[16], "PAR");
  EXPECT_EQ(r[29], "PHSB");
  EXPECT_EQ(r[31], "VSCL");
}

// --- Reports ------------------------------------------------------------------------------

TEST(SpinOpcodesReport, LayoutAndRows) {
  std::array<bool, 256> seen;
  seen.fill(true);
  seen[0x3C] = false;
  const std::string text = SpinOpcodesReport(Tables(), seen);
  const std::vector<std::string> lines = SplitLines(text);
  ASSERT_EQ(lines.size(), 3u + 256u);
  EXPECT_EQ(lines[0], "Spin Opcodes");
  EXPECT_EQ(lines[1], "============");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3 + 0x00], "    00    FRAME    f+CALL WITH RETURN VALUE");
  EXPECT_EQ(lines[3 + 0x04], "    04    GOTO     a");
  EXPECT_EQ(lines[3 + 0x14], "    14    QUIT???  ");
  EXPECT_EQ(lines[3 + 0x3C], "**  3C    ?3C      ");
  EXPECT_EQ(lines[3 + 0xC7], "    C7    PUSH     ##OBJ+vlm");
  EXPECT_EQ(lines[3 + 0xF5], "    F5    MPY_MSW  ");
  EXPECT_EQ(lines[3 + 0xF8], "    F8    SQRT     ");
  EXPECT_NE(text.substr(text.size() - 2), "\r\n");
}

TEST(SpinOpcodesReport, LongMnemonicStillGetsOneBlank) {
  SpinTableBuilder b;
  b.DefineOpcode("LONGNAME12 x");
  std::array<bool, 256> seen{};
  const std::vector<std::string> lines = SplitLines(SpinOpcodesReport(b.Tables(), seen));
  EXPECT_EQ(lines[3], "**  00    LONGNAME12 x");
}

TEST(SpinEffectsReport, LayoutAndRows) {
  const std::string text = SpinEffectsReport(Tables());
  const std::vector<std::string> lines = SplitLines(text);
  ASSERT_EQ(lines.size(), 5u + 128u);
  EXPECT_EQ(lines[0], "Spin 'Using' Effects");
  EXPECT_EQ(lines[1], "====================");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], std::string("When used with an opcode") + std::string(16, ' ') +
                          "When used as a unary operator");
  EXPECT_EQ(lines[4], "");
  const std::string pad = std::string(40 - 10, ' ');
  EXPECT_EQ(lines[5 + 0x00], "00    COPY" + pad + "80    COPY");
  EXPECT_EQ(lines[5 + 0x01], "01    " + std::string(34, ' ') + "81    ");
  EXPECT_EQ(lines[5 + 0x05], "05    " + std::string(34, ' ') + "85    ");
  EXPECT_EQ(lines[5 + 0x20], "20    PREINC" + std::string(28, ' ') + "A0    INC");
  EXPECT_EQ(lines[5 + 0x55], "55    MPY_BIG" + std::string(27, ' ') + "D5    MPY_BIG");
  EXPECT_EQ(lines[5 + 0x58], "58    SQR" + std::string(31, ' ') + "D8    SQR");
  EXPECT_EQ(lines[5 + 0x7F], "7F    " + std::string(34, ' ') + "FF    ");
  EXPECT_NE(text.substr(text.size() - 2), "\r\n");
}

// The variable each opcode's bits give agrees with what its template shows:
// the base before "+", the size letter, "##" for an address, "[]" after the
// offset (or MEM's second) for an index, the mnemonic for the access.
TEST(SpinVariableOf, AgreesWithTheTemplates) {
  for (std::uint32_t op = 0; op < 256; ++op) {
    const SpinOpcodeEntry& e = Tables().SpinOpcodeTable[op];
    const std::string format(e.OperandFormat);
    const SpinVariable v = SpinVariableOf(op);
    const bool memory = format.find("MEM[]") != std::string::npos;
    const bool variable = memory || format.find("+d") != std::string::npos || format.find("+v") != std::string::npos;
    if (!variable) {
      const bool cogRegister = format.rfind("SPR[]", 0) == 0 || format.rfind("r", 0) == 0;
      EXPECT_EQ(v.base != SpinBase::None, cogRegister) << "opcode " << op;
      continue;
    }
    const std::string base = memory ? "MEM" : format.substr(format.find('+') - 3, 3);
    static const char* const kBases[] = {"", "MEM", "OBJ", "VAR", "LOC"};
    EXPECT_EQ(kBases[static_cast<int>(v.base)], base) << "opcode " << op;
    const char size = format[format.find_last_of("bwl")];
    EXPECT_EQ(static_cast<int>(v.size), size == 'b' ? 1 : size == 'w' ? 2 : 4) << "opcode " << op;
    const SpinAccess access = format.find("##") != std::string::npos ? SpinAccess::Address
                              : e.Mnemonic == "POP"                  ? SpinAccess::Pop
                              : e.Mnemonic == "USING"                ? SpinAccess::Using
                                                                     : SpinAccess::Push;
    EXPECT_EQ(v.access, access) << "opcode " << op;
    EXPECT_EQ(v.indexed, format.find(memory ? "MEM[][]" : "v[]") != std::string::npos) << "opcode " << op;
  }
}

TEST(SourceRegisterName, TheNamedRegistersInLowerCase) {
  EXPECT_EQ(SourceRegisterName(16), "par");
  EXPECT_EQ(SourceRegisterName(22), "dira");
  EXPECT_EQ(SourceRegisterName(31), "vscl");
  EXPECT_EQ(SourceRegisterName(15), "");
  EXPECT_EQ(SourceRegisterName(32), "");
}

}  // namespace
}  // namespace brevin
