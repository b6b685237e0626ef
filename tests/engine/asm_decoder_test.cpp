// Assembler longs in the listing of a small block where a case needs more
// than a line of tests/data/decode/asm.txt: the forms the R, I and S bits
// select, labels, data longs, call pairs and what tracing makes of registers.
#include <gtest/gtest.h>

#include <algorithm>

#include "brevin/engine.h"
#include "brevin/asm_instruction.h"
#include "isa/tables.h"
#include "test_support.h"

namespace brevin {
namespace {

constexpr std::uint32_t Z = 8, C = 4, R = 2, I = 1;  // the flag group of an instruction long
constexpr std::uint32_t kMov = 40, kCmps = 48, kCmp = 33, kAnd = 24, kRdlong = 2, kRdbyte = 0, kHubop = 3;
constexpr std::uint32_t kJmp = 23, kDjnz = 57;

constexpr std::uint32_t Asm(std::uint32_t instr, std::uint32_t zcri, std::uint32_t d, std::uint32_t s,
                            std::uint32_t cond = 15) {
  return instr << 26 | zcri << 22 | cond << 18 | d << 9 | s;
}

// An assembly block of the given longs listed with the host's options.
AnalysisPtr ListBlock(test::ScriptedHost& host, const std::vector<std::uint32_t>& longs) {
  host.options.InhibitWarnings = true;
  return test::ListImage(host, test::AsmImage(longs));
}

// The hub address of a cog register of the block.
constexpr std::int32_t Hub(std::int32_t cog) { return test::kAsmBlock + 4 * cog; }

// The listed text of the long at the cog register, from the opcode column on
// without its leading blanks; "(none)" when no line lists it.
std::string Text(const Analysis& a, std::int32_t cog) {
  for (const ListingLine& line : a.lines) {
    if (line.address != Hub(cog) || line.textStart == std::string::npos || line.text.size() < 13) continue;
    const std::string_view text = line.text.substr(line.textStart);
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string() : std::string(text.substr(first));
  }
  return "(none)";
}

// The line that lists the long at the cog register, or null.
const ListingLine* LineOf(const Analysis& a, std::int32_t cog) {
  for (std::size_t i = 0; i < a.lines.size(); ++i) {
    if (a.lines[i].address == Hub(cog) && a.lines[i].text.size() > 13) return &a.lines[i];
  }
  return nullptr;
}

TEST(AsmChoice, HubOperationDigitsAndUnpairedMarkers) {
  const AsmTables& t = SharedTables().Asm;
  const char* hubOps[] = {"CLKSET d", "COGID d", "COGINIT d", "COGSTOP d",
                          "LOCKNEW d", "LOCKRET d", "LOCKSET d", "LOCKCLR d"};
  bool write = false;
  for (std::uint32_t n = 0; n < 8; ++n) {
    EXPECT_EQ(SelectAsmChoice(t.AsmOpcodeTable[kHubop], Asm(kHubop, I, 0, 0x1F8 | n), false, write), hubOps[n]);
  }
  EXPECT_EQ(SelectAsmChoice(t.AsmOpcodeTable[kHubop], Asm(kHubop, 0, 0, 2), false, write), "HUBOP d,s");
  // A marker without its partner ends the selection instead of running off the text.
  EXPECT_EQ(SelectAsmChoice("?iXY", Asm(0, I, 0, 0), false, write), "");
  EXPECT_EQ(SelectAsmChoice("?iXY", 0, false, write), "XY");
}

// With labels: V numbers in listing order, special registers by name and
// never numbered, jump targets by label, hub addresses with their size, and
// casts instead of sizes.
TEST(AsmDecode, LabelsNameRegistersTargetsAndHubAddresses) {
  const std::vector<std::uint32_t> block = {
      Asm(kMov, R | I, 7, 5),           // 0
      Asm(kMov, R, 8, 0x1F0),           // 1: PAR
      Asm(kRdbyte, R | I, 7, 0x1F0),    // 2: a hub address past the image
      Asm(kRdlong, I, 7, 0x10),         // 3: WRLONG to PBASE
      Asm(kRdbyte + 1, R | I, 7, 0x10), // 4: RDWORD
      Asm(kJmp, I, 0, 9),               // 5
      0, 0, 0,                          // 6..8: 7 and 8 are registers
      Asm(kJmp, I, 0, 9)};              // 9
  test::ScriptedHost host;
  host.options.DefaultLongVariables = true;
  const AnalysisPtr a = ListBlock(host, block);
  ASSERT_TRUE(a);
  EXPECT_EQ(Text(*a, 0), "MOV      V1, #$05");
  EXPECT_EQ(Text(*a, 1), "MOV      V2, PAR");
  EXPECT_EQ(Text(*a, 2), "RDBYTE   V1, #$01F0.BYTE");
  const Symbol* pbase = nullptr;
  for (const Symbol& symbol : a->symbols) {
    if (symbol.address == 0x10) pbase = &symbol;
    EXPECT_NE(symbol.address, Hub(0x1F0)) << symbol.name;  // PAR is never numbered
  }
  ASSERT_NE(pbase, nullptr);
  EXPECT_EQ(Text(*a, 3), "WRLONG   V1, #" + pbase->name + ".LONG");
  EXPECT_EQ(Text(*a, 4), "RDWORD   V1, #" + pbase->name + ".WORD");
  const Symbol* target = a->FindSymbol(Text(*a, 5).substr(10));
  ASSERT_NE(target, nullptr) << Text(*a, 5);
  EXPECT_EQ(target->address, Hub(9));
  ASSERT_NE(LineOf(*a, 7), nullptr);
  ASSERT_NE(LineOf(*a, 8), nullptr);
  const auto label = [](const ListingLine* line) { return line->text.substr(line->labelStart, line->labelEnd - line->labelStart); };
  EXPECT_EQ(label(LineOf(*a, 7)), "V1");
  EXPECT_EQ(label(LineOf(*a, 8)), "V2");
  EXPECT_EQ(a->listing.find(" V3 "), std::string::npos);

  test::ScriptedHost castHost;
  castHost.options.CastVariables = true;
  const AnalysisPtr cast = ListBlock(castHost, block);
  ASSERT_TRUE(cast);
  EXPECT_EQ(Text(*cast, 4), "RDWORD   V1, #WORD(" + pbase->name + ")");
}

// A long used as a register is data: listed as LONG with its value, after a
// blank line, and code after data starts after one too. Every line has its
// hub address and cog register in the address column.
TEST(AsmDecode, AddressColumnNopAndDataLongs) {
  test::ScriptedHost host;
  const AnalysisPtr a = ListBlock(host, {Asm(kMov, R, 4, 5), Asm(kMov, R, 6, 7), Asm(kMov, R, 8, 9), Asm(kJmp, I, 0, 10),
                                         31, 256, 0xFFFFFFFF, 0x12345, 0, 0, Asm(kMov, R, 1, 2), Asm(kJmp, I, 0, 11)});
  ASSERT_TRUE(a);
  const std::pair<std::int32_t, const char*> values[] = {{4, "$1F"}, {5, "$0100"}, {6, "-1"}, {7, "$012345"}, {8, "0"}, {9, "0"}};
  for (const auto& [cog, text] : values) EXPECT_EQ(Text(*a, cog), std::string("LONG     ") + text) << cog;
  const ListingLine* first = LineOf(*a, 4);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE((first - 1)->text.empty()) << "no blank line before the data";
  EXPECT_EQ(first->text.substr(0, 10), "0030   004");
  EXPECT_EQ(Text(*a, 10), "MOV      V7, V8");
  ASSERT_NE(LineOf(*a, 10), nullptr);
  EXPECT_TRUE((LineOf(*a, 10) - 1)->text.empty()) << "no blank line between data and code";
  const AnalysisPtr nops = ListBlock(host, {Asm(kMov, R, 1, 0x11), Asm(kJmp, I, 0, 0x12)});
  ASSERT_TRUE(nops);
  EXPECT_EQ(Text(*nops, 0x12), "NOP");
  ASSERT_NE(LineOf(*nops, 0x12), nullptr);
  EXPECT_EQ(LineOf(*nops, 0x12)->text.substr(0, 10), "0068   012");
  EXPECT_EQ(Text(*nops, 0x11), "LONG     0");
  ASSERT_NE(LineOf(*nops, 0x12), nullptr);
  EXPECT_TRUE((LineOf(*nops, 0x12) - 1)->text.empty()) << "no blank line between data and code";
}

// Registers read or written become data, immediates and special registers do
// not; a hub read gives the hub address its size.
TEST(AsmDecode, TracingMarksRegistersHubSizesAndFlow) {
  test::ScriptedHost host;
  host.options.ShowLabels = false;
  const AnalysisPtr a = ListBlock(host, {Asm(kMov, R, 8, 9), Asm(kMov, R | I, 0x1F4, 6), Asm(kRdbyte + 1, R | I, 8, 0x120),
                                         Asm(kJmp, I, 0, 6), 0, 0, 0, Asm(kJmp, I, 0, 7), 0, 0});
  ASSERT_TRUE(a);
  EXPECT_EQ(Text(*a, 1), "MOV      OUTA, #$06");
  EXPECT_EQ(Text(*a, 3), "JMP      #$006");
  EXPECT_EQ(Text(*a, 6), "NOP");  // an immediate is no register
  EXPECT_EQ(Text(*a, 8), "LONG     0");
  EXPECT_EQ(Text(*a, 9), "LONG     0");
  const ListingLine* variable = nullptr;
  for (const ListingLine& line : a->lines) {
    if (line.address == 0x120 && line.text.size() > 38 && line.text[13] != ' ') variable = &line;
  }
  ASSERT_NE(variable, nullptr);
  EXPECT_EQ(variable->text.substr(38, 9), "WORD     ") << variable->text;

  const AsmInstruction indirect = DecodeAsm(Asm(kJmp, 0, 0, 9), false);  // through a register: the target is unknown
  EXPECT_EQ(indirect.flow, AsmFlow::Jump);
  EXPECT_EQ(indirect.FlowTarget(), -1);
  EXPECT_EQ(DecodeAsm(Asm(kDjnz, R, 1, 9), false).flow, AsmFlow::Next);  // a register target does not transfer control here
  const AsmInstruction branch = DecodeAsm(Asm(kDjnz, R | I, 1, 9), false);
  EXPECT_EQ(branch.flow, AsmFlow::Branch);
  EXPECT_EQ(branch.mnemonic, "DJNZ");
  EXPECT_EQ(branch.FlowTarget(), 9);
}

// A JMPRET #S records its return register as the routine's return location:
// the same pair again is a CALL, the location is named after the routine and
// its JMP #0 lists as RET; another return register keeps the first pair.
TEST(AsmDecode, CallPairNamesTheReturnLocationAndListsRet) {
  std::vector<std::uint32_t> block(0x40, 0);
  block[0] = Asm(kMov, R, 1, 1);
  block[1] = Asm(kMov, R, 1, 1);
  block[2] = Asm(kJmp, R | I, 0x21, 0x10);  // JMPRET $21, #$10: a CALL as the chip encodes it
  block[3] = Asm(kJmp, R | I, 0x21, 0x10);
  block[4] = Asm(kJmp, R | I, 0x22, 0x10);  // another return register
  block[5] = Asm(kJmp, R | I, 0x31, 0x18);
  block[6] = Asm(kJmp, R, 0x25, 0x26);      // through a register: the routine is unknown
  block[7] = Asm(kJmp, 0, 0, 0x1F0);
  block[0x10] = Asm(kJmp, I, 0, 0x21);
  block[0x18] = Asm(kJmp, I, 0, 0x31);
  block[0x21] = Asm(kJmp, I, 0, 0);
  block[0x25] = Asm(kJmp, I, 0, 0);
  block[0x31] = Asm(kJmp, I | Z, 0, 0, 10);
  test::ScriptedHost host;
  host.options.DebugAsmb = true;
  const AnalysisPtr a = ListBlock(host, block);
  ASSERT_TRUE(a);
  EXPECT_NE(host.debug.find("Asmb 0028 002 JMPRET  021, #010\r\nPair 0060 010\r\nPair 00A4 021\r\n"), std::string::npos);
  const ListingLine* routine = LineOf(*a, 0x10);
  ASSERT_NE(routine, nullptr);
  ASSERT_TRUE(routine->defines.has_value());
  const std::string name = *routine->defines;
  EXPECT_EQ(Text(*a, 2), "CALL     #" + name);
  EXPECT_EQ(Text(*a, 3), "CALL     #" + name);
  EXPECT_EQ(Text(*a, 4).substr(0, 9), "JMPRET   ");
  EXPECT_EQ(Text(*a, 7), "JMP      PAR");
  EXPECT_EQ(Text(*a, 0x10), "JMP      #" + name + "_ret");  // a jump to a return location is no return
  EXPECT_EQ(Text(*a, 0x21), "RET ");
  EXPECT_EQ(Text(*a, 0x31), "IF_Z            RET WZ ");
  ASSERT_NE(LineOf(*a, 0x21), nullptr);
  EXPECT_EQ(LineOf(*a, 0x21)->defines, name + "_ret");
  const Symbol* called = a->FindSymbol(name);
  ASSERT_NE(called, nullptr);
  EXPECT_NE(std::find(called->referencedFrom.begin(), called->referencedFrom.end(), Hub(2)), called->referencedFrom.end());
  // The return location of a call through a register is named without a routine.
  ASSERT_NE(LineOf(*a, 0x25), nullptr);
  ASSERT_TRUE(LineOf(*a, 0x25)->defines.has_value());
  EXPECT_TRUE(LineOf(*a, 0x25)->defines->ends_with("_ret")) << LineOf(*a, 0x25)->text;
  EXPECT_EQ(Text(*a, 0x25), "RET ");
}

}  // namespace
}  // namespace brevin
