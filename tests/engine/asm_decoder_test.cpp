// Decoding single assembler longs: the forms the R, I and S bits select,
// operand and effect texts, data longs, and the marks tracing leaves.
#include <gtest/gtest.h>

#include "brevin/engine.h"
#include "engine_probe.h"
#include "test_support.h"

namespace brevin {
namespace {

constexpr std::uint32_t Z = 8, C = 4, R = 2, I = 1;  // the flag group of an instruction long
constexpr std::uint32_t kMov = 40, kCmps = 48, kCmp = 33, kAnd = 24, kRdlong = 2, kRdbyte = 0, kHubop = 3;
constexpr std::uint32_t kJmp = 23, kDjnz = 57;
constexpr std::int64_t kBase = 0x100;  // hub address of cog address 0

constexpr std::uint32_t Asm(std::uint32_t instr, std::uint32_t zcri, std::uint32_t d, std::uint32_t s,
                            std::uint32_t cond = 15) {
  return instr << 26 | zcri << 22 | cond << 18 | d << 9 | s;
}

// The text after the condition column.
std::string Col(const std::string& text, const std::string& cond = "") {
  return cond + std::string(16 - cond.size(), ' ') + text;
}

class AsmDecodeTest : public ::testing::Test {
 protected:
  test::ScriptedHost host;
  test::EngineProbe e{host};

  void SetUp() override {
    e.LoadImageBytes(std::vector<std::uint8_t>(0x400, 0));
    e.CogOrgBase = kBase;
  }
  AsmInstruction Decode(std::uint32_t value, std::int64_t cog, bool listing) {
    for (int i = 0; i < 4; ++i) {
      std::uint32_t& cell = e.Image[static_cast<std::size_t>(kBase + 4 * cog + i)];
      cell = (cell & ~0xFFu) | (value >> (8 * i) & 0xFF);
    }
    e.ListingPass = listing;
    return e.DecodeAsmInstruction(kBase + 4 * cog);
  }
  // The opcode column and the operand of the listed long, joined by "|".
  std::string List(std::uint32_t value, std::int64_t cog = 0) {
    Decode(value, cog, true);
    return e.LineOpcode + "|" + e.LineOperand;
  }
  AsmInstruction Trace(std::uint32_t value, std::int64_t cog = 0) { return Decode(value, cog, false); }
};

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

TEST_F(AsmDecodeTest, EffectsAndOperandTexts) {
  e.Opt.ShowLabels = false;
  EXPECT_EQ(List(Asm(kMov, 0, 0x1F4, 5)), Col("MOV      OUTA, $005 NR|"));
  EXPECT_EQ(List(Asm(kCmps, R, 1, 2)), Col("CMPS     $001, $002 WR|"));
  EXPECT_EQ(List(Asm(kCmp, C | Z, 1, 2)), Col("CMP      $001, $002 WC, WZ|"));
  EXPECT_EQ(List(Asm(kAnd, R, 1, 2)), Col("AND      $001, $002|"));
  EXPECT_EQ(List(Asm(kRdlong, R, 1, 2)), Col("RDLONG   $001, $002|"));
  EXPECT_EQ(List(Asm(kHubop, R | I, 3, 1)), Col("COGID    $003 WR|"));
  EXPECT_EQ(List(Asm(kMov, R | I, 1, 300, 0)), Col("MOV      $001, #$12C|", "IF_NEVER"));
  EXPECT_EQ(List(Asm(kDjnz, R | I, 5, 10, 3)), Col("DJNZ     $005, #$00A|", "IF_NC"));
  EXPECT_EQ(List(Asm(kRdbyte, R | I, 1, 0x10)), Col("RDBYTE   $001, #$010|"));
  EXPECT_EQ(List(Asm(5, C, 1, 2, 12)), Col(" WC|", "IF_C"));  // fields 4..7 have no text

  // With labels: V numbers in listing order, special registers by name and
  // never numbered, jump targets by label, hub addresses with their size.
  e.Opt.ShowLabels = true;
  e.DefaultLong = false;
  std::fill(e.VarIds.begin(), e.VarIds.end(), 0);
  e.AsmVarCounter = 0;
  e.UsedLetters.clear();
  EXPECT_EQ(List(Asm(kMov, R | I, 7, 5)), Col("MOV      V1, #$05|"));
  EXPECT_EQ(List(Asm(kMov, R, 8, 0x1F0)), Col("MOV      V2, PAR|"));
  EXPECT_EQ(e.VarIds[kBase + 4 * 0x1F0], 0);
  EXPECT_EQ(e.UsedLetters, "V");
  e.SymbolIds[kBase + 4 * 9] = 'A' << 16 | 4;
  EXPECT_EQ(List(Asm(kJmp, I, 0, 9)), Col("JMP      #A4|"));
  EXPECT_EQ(e.VarIds[kBase + 4 * 9], 0);
  EXPECT_EQ(List(Asm(kRdbyte, R | I, 7, 0x10)), Col("RDBYTE   V1, #$0010.BYTE|"));
  e.SymbolIds[0x10] = 'L' << 16 | 2;
  EXPECT_EQ(List(Asm(kRdlong, I, 7, 0x10)), Col("WRLONG   V1, #L2.LONG|"));
  e.Opt.CastVariables = true;
  EXPECT_EQ(List(Asm(kRdbyte + 1, R | I, 7, 0x10)), Col("RDWORD   V1, #WORD(L2)|"));
}

TEST_F(AsmDecodeTest, AddressColumnNopAndDataLongs) {
  EXPECT_EQ(List(0, 0x12), Col("NOP|"));
  EXPECT_EQ(e.LineAddr, "0148   012");
  EXPECT_EQ(e.ReadCursor, 0x14C);
  e.SetFlag(kBase, flag::Adat);  // used as data: zero or numbered longs are data
  EXPECT_EQ(List(0), std::string(15, ' ') + "|LONG     0");
  e.VarIds[kBase] = 3;
  const std::pair<std::uint32_t, const char*> values[] = {{31, "$1F"}, {256, "$0100"}, {0xFFFFFFFF, "-1"}, {0x12345, "$012345"}};
  for (const auto& [value, text] : values) {
    EXPECT_EQ(List(value), std::string(15, ' ') + "|LONG     " + text) << value;
  }
  EXPECT_EQ(e.SectionState, section::AsmData);
  e.VarIds[kBase] = 0;
  EXPECT_EQ(List(Asm(kMov, R, 1, 2)).substr(0, 19), Col("MOV"));
  EXPECT_EQ(e.SectionState, section::AsmCode);
}

TEST_F(AsmDecodeTest, TracingMarksRegistersHubSizesAndFlow) {
  Trace(Asm(kMov, R, 3, 4));
  EXPECT_TRUE(e.HasFlag(kBase + 12, flag::Asmb) && e.HasFlag(kBase + 16, flag::Adat));
  EXPECT_EQ(Trace(Asm(kMov, R | I, 0x1F4, 6)).flow, AsmFlow::Next);  // neither a special register nor an immediate is data
  EXPECT_FALSE(e.HasFlag(kBase + 24, flag::Adat) || e.HasFlag(kBase + 0x1F4 * 4, flag::Adat));
  Trace(Asm(kRdbyte + 1, R | I, 3, 0x22));
  EXPECT_TRUE(e.HasFlag(0x22, flag::Word));
  const AsmInstruction indirect = Trace(Asm(kJmp, 0, 0, 9));  // through a register: the target is unknown
  EXPECT_EQ(indirect.flow, AsmFlow::Jump);
  EXPECT_EQ(indirect.FlowTarget(), -1);
  EXPECT_EQ(Trace(Asm(kDjnz, R, 1, 9)).flow, AsmFlow::Next);  // a register target does not transfer control here
  const AsmInstruction branch = Trace(Asm(kDjnz, R | I, 1, 9));
  EXPECT_EQ(branch.flow, AsmFlow::Branch);
  EXPECT_EQ(branch.mnemonic, "DJNZ");
}

TEST_F(AsmDecodeTest, CallPairNamesTheReturnLocationAndListsRet) {
  e.Opt.DebugAsmb = true;
  const std::uint32_t call = Asm(kJmp, R | I, 0x21, 0x10);  // JMPRET $21, #$10: a CALL as the chip encodes it
  const std::int64_t routine = kBase + 0x40, ret = kBase + 0x84;
  EXPECT_EQ(Trace(call, 2).mnemonic, "JMPRET");  // not paired yet while it is traced
  EXPECT_TRUE(e.HasFlag(ret, flag::Asmb) && e.HasFlag(ret, flag::Aret) && (e.FlagsAt(ret) & flag::Goto) == flag::Goto);
  EXPECT_EQ(static_cast<std::uint32_t>(e.SymbolIds[ret]), 0x80000000u | routine);
  EXPECT_EQ(e.PairedWith[ret], routine);
  EXPECT_EQ(e.PairedWith[routine], ret);
  EXPECT_EQ(e.ReferencedFrom[routine], kBase + 8);
  EXPECT_NE(host.debug.find("Asmb 0108 002 JMPRET  021, #010\r\nPair 0140 010\r\nPair 0184 021\r\n"), std::string::npos);
  // The same pair again is a CALL; another return register keeps the first pair.
  const AsmInstruction paired = Trace(call, 3);
  EXPECT_EQ(paired.mnemonic, "CALL");
  EXPECT_EQ(paired.flow, AsmFlow::Call);
  EXPECT_EQ(Trace(Asm(kJmp, R | I, 0x22, 0x10), 4).mnemonic, "JMPRET");
  EXPECT_EQ(e.PairedWith[routine], ret);

  e.SymbolIds[routine] = 'A' << 16 | 7;
  EXPECT_EQ(List(call, 2), Col("CALL     #A7|"));
  EXPECT_EQ(List(Asm(kJmp, I, 0, 0), 0x21), Col("RET|_"));
  EXPECT_EQ(List(Asm(kJmp, I | Z, 0, 0, 10), 0x21), Col("RET WZ|_", "IF_Z"));
  EXPECT_EQ(List(Asm(kJmp, I, 0, 0), 0x30), Col("JMP      #$000|"));  // not a return location
  EXPECT_EQ(List(Asm(kJmp, 0, 0, 0x1F0), 0x30), Col("JMP      PAR|"));
  EXPECT_EQ(e.SymbolName(0, ret, 0), "A7_ret");
  Trace(Asm(kJmp, R, 0x25, 0x26), 5);  // through a register: the routine is unknown
  EXPECT_EQ(static_cast<std::uint32_t>(e.SymbolIds[kBase + 0x94]), 0x80000000u);
}

}  // namespace
}  // namespace brevin
