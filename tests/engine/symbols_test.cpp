// Symbol letters and numbering, names in operands, the symbol table, the
// variable area, stack frames and the object list.
#include <gtest/gtest.h>

#include "brevin/engine.h"
#include "engine_probe.h"
#include "test_support.h"

namespace brevin {
namespace {

using test::Lines;
using test::ScriptedHost;

class SymbolTest : public ::testing::Test {
 protected:
  ScriptedHost host;
  test::EngineProbe e{host};
  void SetUp() override {
    e.LoadImageBytes(std::vector<std::uint8_t>(0x400, 0));
    e.ImageEnd = 0x3FF;
  }
  std::string Name(std::int64_t a) const { return e.SymbolName(0, a, 0); }
};

TEST_F(SymbolTest, LettersFollowFlagsAndNumbersFollowAddresses) {
  using namespace flag;
  e.SetFlag(0x100, Call | Xfun | Spin);
  e.SetFlag(0x110, Call | Spin);
  e.SetFlag(0x120, Goto);
  e.SetFlag(0x130, JmpT);
  e.SetFlag(0x140, JmpF);
  e.SetFlag(0x150, Asmb | Call);
  e.SetFlag(0x160, Asmb | JmpF);
  e.SetFlag(0x170, Link | Xobj);
  e.SetFlag(0x180, Link);
  e.SetFlag(0x190, Long);
  e.SetFlag(0x194, Word);
  e.SetFlag(0x196, Byte);
  e.SetFlag(0x197, Byte | Aray);          // array element: no symbol
  e.SetFlag(0x198, Byte | Aray | Done);   // first of a run: a symbol
  e.SetFlag(0x19A, Word | Pads);          // padding: no symbol
  e.SymbolIds[0x1A0] = static_cast<std::int32_t>(0x80000000u);
  e.NumberSymbols();
  EXPECT_EQ(Name(0x100), "F1");
  EXPECT_EQ(Name(0x110), "S2");
  EXPECT_EQ(Name(0x120), "J3");
  EXPECT_EQ(Name(0x130), "T4");
  EXPECT_EQ(Name(0x140), "N5");
  EXPECT_EQ(Name(0x150), "A6");
  EXPECT_EQ(Name(0x160), "A7");
  EXPECT_EQ(Name(0x170), "O8");
  EXPECT_EQ(Name(0x180), "X9");
  EXPECT_EQ(Name(0x190), "L10");
  EXPECT_EQ(Name(0x194), "W11");
  EXPECT_EQ(Name(0x196), "B12");
  EXPECT_EQ(Name(0x197), "$0197");
  EXPECT_EQ(Name(0x198), "B13");
  EXPECT_EQ(Name(0x19A), "$019A");
  EXPECT_EQ(Name(0x1A0), "R14");
  EXPECT_EQ(e.UsedLetters, "FSJTNAOXLWBR");
}

TEST_F(SymbolTest, ReturnLocationsAreNamedAfterTheirRoutine) {
  e.SetFlag(0x200, flag::Asmb | flag::Call);
  e.SetFlag(0x210, flag::Aret);
  e.NumberSymbols();
  e.SymbolIds[0x220] = static_cast<std::int32_t>(0x80000000u | 0x200);
  EXPECT_EQ(Name(0x220), "A1_ret");
  e.SymbolIds[0x210] = 'L' * 65536 + 9;
  EXPECT_EQ(Name(0x210), "L9_ret");
  e.SymbolIds[0x230] = static_cast<std::int32_t>(0x80000000u | 0x230);  // names itself: no endless loop
  EXPECT_NE(Name(0x230).find("_ret"), std::string::npos);
  EXPECT_EQ(e.SymbolName(0, -1, 0), "******");
}

TEST_F(SymbolTest, OperandNamesFollowShowLabels) {
  e.SetFlag(0x100, flag::Goto);
  e.NumberSymbols();
  e.Opt.ShowLabels = true;
  EXPECT_EQ(e.HubName(0x100), "J1");
  EXPECT_EQ(e.RelName(0xF0, 0x10), "J1");
  EXPECT_EQ(e.RelName(0xF0, 0x11), "+17");
  e.Opt.ShowLabels = false;
  EXPECT_EQ(e.HubName(0x100), "$0100");
  EXPECT_EQ(e.RelName(0xF0, 0x10), "+16");
  e.VarIds[8] = 3;
  EXPECT_EQ(e.VarName("LOC+", 3, 8), "VL3");
  EXPECT_EQ(e.VarName("LOC+", 3, 6), "LOC+6");
  e.ObjVarBase = 0xF0;
  EXPECT_EQ(e.VarName("#VAR+", 2, 0x10), "#J1");
}

TEST_F(SymbolTest, VariableAreaFillersTakeTheLargestSizeThatFits) {
  using namespace flag;
  e.VBASE = 0x100;
  e.VENDS = 0x110;
  e.SetFlag(0x106, Byte | Done);  // referenced byte after six free bytes... and before two more
  e.SetFlag(0x10B, Word | Done);  // a word at an odd address
  e.ClassifyVariables();
  EXPECT_TRUE(e.HasFlag(0x100, Aray | Long));
  EXPECT_TRUE(e.HasFlag(0x104, Aray | Word));
  EXPECT_FALSE(e.HasFlag(0x104, Long));
  EXPECT_TRUE(e.HasFlag(0x107, Aray | Byte));  // odd address: a byte
  EXPECT_TRUE(e.HasFlag(0x108, Aray | Word));
  EXPECT_TRUE(e.HasFlag(0x10A, Aray | Byte));  // directly before a referenced item: a byte
  EXPECT_FALSE(e.HasFlag(0x10B, Aray));
  EXPECT_TRUE(e.HasFlag(0x10D, Aray | Byte));
  EXPECT_TRUE(e.HasFlag(0x10E, Aray | Word));
}

TEST_F(SymbolTest, BytesReferencedAfterSpinCodeBecomeRuns) {
  using namespace flag;
  e.PINIT = 0x100;
  e.VBASE = 0x110;
  e.SetFlag(0x104, Spin | Done);
  e.SetFlag(0x105, Byte);
  e.SetFlag(0x108, Word);
  e.ClassifyByteRuns();
  EXPECT_TRUE(e.HasFlag(0x105, Done | Aray | Byte));
  EXPECT_TRUE(e.HasFlag(0x106, Aray | Byte));
  EXPECT_TRUE(e.HasFlag(0x107, Aray | Byte));
  EXPECT_FALSE(e.HasFlag(0x108, Aray));
  EXPECT_FALSE(e.HasFlag(0x106, Done));
}

class FrameTest : public SymbolTest {
 protected:
  void SetUp() override {
    SymbolTest::SetUp();
    e.Opt = Options{};
    e.ListingPass = true;
    e.LastLineBlank = true;
    // a method at $100 with three bytes of code; the next method starts at $103
    e.SetFlag(0x100, flag::Spin | flag::Call);
    e.SetFlag(0x101, flag::Spin);
    e.SetFlag(0x102, flag::Spin);
    e.SetFlag(0x103, flag::Spin | flag::Call);
  }
  void Access(std::int64_t at, int offset) { e.LocalAccess[static_cast<std::size_t>(at)] = offset | (0x403 << 16); }
  // Prints the folding queue, with one more line so the last blank line stays.
  void Flush() {
    e.LineAddr = e.InstrBytes = e.LineLabel = e.LineOperand = "";
    e.LineOpcode = "END";
    e.EmitLine();
    e.FlushPendingLines();
  }
};

TEST_F(FrameTest, OnlyOffsetTwelveUsed) {
  Access(0x101, 12);
  Access(0x103, 4);  // the next method's access is not this method's
  e.LineLabel = "S1";
  e.ListStackFrame(0x100);
  EXPECT_EQ(e.LineLabel, "S1");
  Flush();
  const auto lines = Lines(e.Listing);
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[0], std::string(38, ' ') + "ALIGN    STACK          ; For $0100 ");
  EXPECT_EQ(lines[2], "      +0000" + std::string(27, ' ') + "LONG     0              ; Unused Result Variable");
  EXPECT_EQ(lines[3], "      +0004" + std::string(27, ' ') + "LONG     0");
  EXPECT_EQ(lines[5], "      +000C                  VL1      LONG     0");
  EXPECT_EQ(lines[7], std::string(38, ' ') + "ALIGN    SPIN ");
  EXPECT_EQ(e.VarName("LOC+", 3, 12), "VL1");
}

TEST_F(FrameTest, ResultVariableUseWithAndWithoutXfun) {
  Access(0x102, 0);
  e.ListStackFrame(0x100);
  Flush();
  EXPECT_NE(e.Listing.find("VL1      LONG     0              ; Unexpected Result Variable Used"), std::string::npos);
  e.Listing.clear();
  e.SetFlag(0x100, flag::Xfun);
  e.ListStackFrame(0x100);
  Flush();
  EXPECT_NE(e.Listing.find("VL2      LONG     0              ; Result Variable"), std::string::npos);
}

TEST_F(FrameTest, NoLocalsNoFrameEvenForAFunction) {
  e.SetFlag(0x100, flag::Xfun);
  e.ListStackFrame(0x100);
  e.FlushPendingLines();
  EXPECT_TRUE(e.Listing.empty());
}

TEST_F(SymbolTest, ObjectListEndsAtAZeroLengthObject) {
  e.PBASE = 0x10;
  e.VBASE = 0x200;
  e.Image[0x10] = 0x20;  // top object, $20 long, one sub-object entry
  e.Image[0x14] = 0x20;
  e.SetFlag(0x14, flag::Link);
  e.Image[0x30] = 0x00;  // the sub-object's length word is 0
  e.SetFlag(0x30, flag::Link | flag::Xobj);
  e.ListObjectList();
  const auto lines = Lines(e.Listing);
  EXPECT_EQ(lines[1], "Object List");
  EXPECT_EQ(lines[4], "1 object used");
  EXPECT_EQ(lines[6], "0010   PBASE    0030   $0030");
  EXPECT_EQ(lines[7], "0014   +1       0030   $0030");
  EXPECT_EQ(lines[9], "0030   $0030    0030   $0030");
  EXPECT_EQ(lines.size(), 11u);
}

TEST_F(SymbolTest, SymbolTableCountsHeaderAddressesAndShowsCrossReferences) {
  e.Opt = Options{};
  e.PBASE = 0x10;
  e.ListSymbolTable();
  EXPECT_NE(e.Listing.find("\r\n5 symbols used\r\n\r\n0010   PBASE    Base of Program\r\n"), std::string::npos);

  e.Listing.clear();
  e.SetFlag(0x100, flag::Spin | flag::Call);
  e.SetFlag(0x120, flag::Asmb | flag::Call);
  e.ReferencedFrom[0x100] = 0x40;
  e.PairedWith[0x120] = 0x130;
  e.NumberSymbols();
  e.ListSymbolTable();
  const auto lines = Lines(e.Listing);
  EXPECT_NE(e.Listing.find("7 symbols used"), std::string::npos);
  EXPECT_NE(e.Listing.find("\r\nA = Assembler Jump Destination\r\nS = Subroutine Entry Point\r\n"), std::string::npos);
  EXPECT_NE(e.Listing.find("\r\n0100   S1       Spin   Call               Called from 0040\r\n"), std::string::npos);
  EXPECT_NE(e.Listing.find("\r\n0120   A2       Asmb   Call               Paired with 0130 = $0130\r\n"), std::string::npos);
}

}  // namespace
}  // namespace brevin
