// Decoding single Spin instructions where a case needs more than a line of
// tests/data/decode/spin.txt: the values behind jump offsets and constants,
// the push history the tracer reads, clock mode texts, instructions cut off by
// the end of the image and the marks tracing leaves.
#include <gtest/gtest.h>

#include "brevin/engine.h"
#include "test_support.h"

namespace brevin {
namespace {

using test::ScriptedHost;

class SpinDecodeTest : public ::testing::Test {
 protected:
  ScriptedHost host;
  test::EngineProbe e{host};

  void SetUp() override {
    e.Opt = Options{};
    e.Opt.ShowLabels = false;
    e.DefaultLong = true;
  }
  // Decodes the bytes placed at address as the tracer does (OperandValue,
  // PushHistory), then lists them (the line fields).
  SpinInstruction Decode(std::vector<std::uint8_t> bytes, std::int64_t address = 0x100) {
    std::vector<std::uint8_t> image(static_cast<std::size_t>(address), 0);
    image.insert(image.end(), bytes.begin(), bytes.end());
    e.LoadImageBytes(image);
    e.LineLabel.clear();
    e.TraceSpinInstruction(address);
    return e.ListSpinInstruction(address);
  }
  std::string Text() const { return e.LineOpcode + "|" + e.LineOperand; }
};

TEST_F(SpinDecodeTest, JumpOffsetsOneAndTwoBytes) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    std::int32_t offset;
  } cases[] = {{{0x04, 0x3F}, 63},          {{0x04, 0x40}, -64},        {{0x04, 0x7F}, -1},
               {{0x04, 0x80, 0x00}, 0},     {{0x04, 0xBF, 0xFF}, 16383}, {{0x04, 0xC0, 0x00}, -16384}};
  for (const Case& c : cases) {
    EXPECT_EQ(Decode(c.bytes).flow, SpinFlow::Jump);
    EXPECT_EQ(e.OperandValue, c.offset);
  }
  Decode({0x0A, 0x05});
  EXPECT_EQ(Text(), "JPF|+5");
  EXPECT_EQ(e.ReadCursor + e.OperandValue, 0x107);
  e.Opt.ShowLabels = true;  // no symbol at $0107: the offset stays
  Decode({0x0A, 0x05});
  EXPECT_EQ(e.LineOperand, "+5");
  e.SymbolIds[0x107] = 'N' * 65536 + 4;
  e.ListSpinInstruction(0x100);
  EXPECT_EQ(e.LineOperand, "N4");
}

TEST_F(SpinDecodeTest, PackedAndMostSignificantFirstConstants) {
  struct Case {
    std::uint8_t packed;
    std::uint32_t value;
  } cases[] = {{0x00, 2}, {0x1F, 0}, {0x3F, 0xFFFFFFFF}, {0x20, 1}, {0x5F, 0xFFFFFFFF}, {0x80, 2}};
  for (const Case& c : cases) {
    Decode({0x37, c.packed});
    EXPECT_EQ(static_cast<std::uint32_t>(e.OperandValue), c.value) << int(c.packed);
  }
  EXPECT_EQ(e.LineOperand, "2 ***** [WRONG] ***** ");
  Decode({0x39, 0x12, 0x34});
  EXPECT_EQ(e.OperandValue, 0x1234);
  EXPECT_EQ(e.LineOperand, "4660");
}

TEST_F(SpinDecodeTest, PushHistoryKeepsSmallConstantsOfOperandInstructions) {
  Decode({0x38, 0x07});
  Decode({0xEC});  // ADD has no operand format: no shift
  Decode({0x39, 0x01, 0x00});
  EXPECT_EQ(e.PushHistory[0], 0x100);
  EXPECT_EQ(e.PushHistory[1], 7);
  Decode({0x3B, 0x00, 0x01, 0x00, 0x00});  // $10000 is too large to record
  EXPECT_EQ(e.PushHistory[0], -1);
  EXPECT_EQ(e.PushHistory[1], 0x100);
}

TEST_F(SpinDecodeTest, ClockModeTexts) {
  struct Case {
    std::uint32_t mode;
    const char* text;
  } cases[] = {{0x6F, "XTAL1_PLL16x"},
               {0x00, "RCFAST"},
               {0x01, "RCSLOW"},
               {0x09, "RCSLOW - Invalid Bit Settings !"},
               {0x02, "Invalid Bit Settings !"},
               {0x6A, "XTAL1 - Invalid Bit Settings !"},
               {0x22, "XINPUT"},
               {0x2A, "XTAL1"}};
  for (const Case& c : cases) EXPECT_EQ(e.ClockModeText(c.mode), c.text) << c.mode;
}

TEST_F(SpinDecodeTest, InstructionRunningOffTheImageShowsOnlyItsBytes) {
  Decode({0x39, 0x12}, 0x7FFE);
  EXPECT_EQ(e.InstrBytes, "39 12");
  EXPECT_EQ(Text(), "PUSH|");
  Decode({0x46}, 0x7FFF);  // USING without its effect byte
  EXPECT_EQ(e.InstrBytes, "46");
  EXPECT_EQ(e.LineOperand, "VAR+4");
}

TEST_F(SpinDecodeTest, TracingMarksVariableSizes) {
  std::vector<std::uint8_t> image(0x200, 0);
  image[0x100] = 0xA9;  // PUSH VAR+vw, offset 12
  image[0x101] = 0x0C;
  image[0x102] = 0x64;  // PUSH LOC+4
  e.LoadImageBytes(image);
  e.ObjVarBase = 0x180;
  e.TraceSpinInstruction(0x100);
  EXPECT_TRUE(e.HasFlag(0x18C, flag::Word | flag::Done));
  e.TraceSpinInstruction(0x102);
  EXPECT_EQ(e.LocalAccess[0x102], 4 | (0x403 << 16));
}

}  // namespace
}  // namespace brevin
