// Decoding single Spin instructions where a case needs more than a line of
// tests/data/decode/spin.txt: the values behind jump offsets and constants,
// the constants a cog start takes its address from, clock mode texts,
// instructions cut off by the end of the image and the sizes tracing gives
// variables.
#include <gtest/gtest.h>

#include "brevin/engine.h"
#include "brevin/spin_instruction.h"
#include "test_support.h"

namespace brevin {
namespace {

using test::ScriptedHost;

constexpr std::int32_t kMethod = 0x18;  // the first method of a test image's top object

// The image of one method with the given code, and its listing.
AnalysisPtr ListMethod(ScriptedHost& host, std::vector<std::uint8_t> code, int varBytes = 4, int size = 0) {
  test::ImageSpec spec;
  spec.object = std::move(code);
  const std::uint8_t table[] = {0, 0, 2, 0, 8, 0, 0, 0};  // the object's length word and its one method
  spec.object.insert(spec.object.begin(), std::begin(table), std::end(table));
  if (size > 0) spec.object.resize(static_cast<std::size_t>(size), 0);
  spec.varBytes = varBytes;
  host.options.InhibitWarnings = true;
  return test::ListImage(host, test::BuildImage(spec));
}

// The last line of the listing at the hub address (a data line after any markers), or null.
const ListingLine* LastLineAt(const Analysis& a, std::int32_t address) {
  const ListingLine* last = nullptr;
  for (const ListingLine& line : a.lines) {
    if (line.address == address) last = &line;
  }
  return last;
}

TEST(SpinDecode, JumpOffsetsOneAndTwoBytes) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    std::int64_t offset;
  } cases[] = {{{0x04, 0x3F}, 63},          {{0x04, 0x40}, -64},        {{0x04, 0x7F}, -1},
               {{0x04, 0x80, 0x00}, 0},     {{0x04, 0xBF, 0xFF}, 16383}, {{0x04, 0xC0, 0x00}, -16384}};
  for (const Case& c : cases) {
    const SpinInstruction ins = DecodeSpin(c.bytes, 0);
    EXPECT_EQ(ins.flow, SpinFlow::Jump);
    ASSERT_NE(ins.Find(SpinOperandKind::JumpOffset), nullptr);
    EXPECT_EQ(ins.Find(SpinOperandKind::JumpOffset)->value, c.offset);
    EXPECT_EQ(ins.Find(SpinOperandKind::JumpOffset)->end + c.offset, static_cast<std::int64_t>(c.bytes.size()) + c.offset);
  }
}

// A jump that no trace reached keeps its offset with labels on: its target has no name.
TEST(SpinDecode, UnreachedJumpKeepsItsOffsetWithLabels) {
  ScriptedHost host;
  host.options.ShowLabels = true;
  // PUSH 0, JPF over RETURN and the unreached JPF -1, to PUSH 0, RETURN.
  const AnalysisPtr a = ListMethod(host, {0x35, 0x0A, 0x03, 0x32, 0x0A, 0x7F, 0x35, 0x32});
  ASSERT_TRUE(a);
  const ListingLine* guess = LastLineAt(*a, kMethod + 4);
  ASSERT_NE(guess, nullptr);
  EXPECT_NE(guess->text.find("; ----"), std::string_view::npos) << guess->text;
  EXPECT_EQ(guess->text.substr(38), "JPF      -1") << guess->text;
  const ListingLine* jump = test::CodeLineAt(*a, kMethod + 1);
  ASSERT_NE(jump, nullptr);
  EXPECT_EQ(jump->mnemonic(), "JPF");
  EXPECT_NE(jump->operands(), "+3");  // the traced jump names its target
  EXPECT_TRUE(a->FindSymbol(jump->operands()) != nullptr) << jump->text;
}

TEST(SpinDecode, PackedAndMostSignificantFirstConstants) {
  struct Case {
    std::uint8_t packed;
    std::uint32_t value;
    bool wrong;
  } cases[] = {{0x00, 2, false},          {0x1F, 0, false}, {0x3F, 0xFFFFFFFF, false},
               {0x20, 1, false},          {0x5F, 0xFFFFFFFF, false}, {0x80, 2, true}};
  for (const Case& c : cases) {
    const std::uint8_t bytes[] = {0x37, c.packed};
    const SpinInstruction ins = DecodeSpin(bytes, 0);
    const SpinOperand* constant = ins.Find(SpinOperandKind::Constant);
    ASSERT_NE(constant, nullptr) << int(c.packed);
    EXPECT_EQ(static_cast<std::uint32_t>(constant->value), c.value) << int(c.packed);
    EXPECT_EQ(constant->wrong, c.wrong) << int(c.packed);
  }
  const std::uint8_t word[] = {0x39, 0x12, 0x34};
  EXPECT_EQ(DecodeSpin(word, 0).Find(SpinOperandKind::Constant)->value, 0x1234);
}

// A cog start takes its cog, code address and parameter from the last three
// constants pushed by instructions with operands: an operator between them
// does not count, and a constant of $10000 or more is no address.
TEST(SpinDecode, CogStartTakesTheConstantsPushedBeforeIt) {
  struct Case {
    const char* form;
    std::vector<std::uint8_t> code;
    bool launches;
  } cases[] = {
      {"coginit(2, $40, 0)", {0x38, 0x02, 0x39, 0x00, 0x40, 0x35, 0x2C, 0x32}, true},
      {"an ADD between the cog and the address", {0x38, 0x02, 0x38, 0x07, 0xEC, 0x39, 0x00, 0x40, 0x35, 0x2C, 0x32}, true},
      {"parameter $FFFF", {0x38, 0x05, 0x38, 0x03, 0x39, 0x00, 0x40, 0x39, 0xFF, 0xFF, 0x2C, 0x32}, true},
      {"parameter $10000", {0x38, 0x05, 0x38, 0x03, 0x39, 0x00, 0x40, 0x3B, 0x00, 0x01, 0x00, 0x00, 0x2C, 0x32}, false},
  };
  for (const Case& c : cases) {
    ScriptedHost host;
    const AnalysisPtr a = ListMethod(host, c.code, 4, 0x40);
    ASSERT_TRUE(a) << c.form;
    EXPECT_EQ(!a->asmBlocks.empty() && a->asmBlocks.front().hubAddress == 0x40, c.launches) << c.form;
  }
}

TEST(SpinDecode, ClockModeTexts) {
  struct Case {
    std::uint8_t mode;
    const char* text;
  } cases[] = {{0x6F, "XTAL1_PLL16x"},
               {0x00, "RCFAST"},
               {0x01, "RCSLOW"},
               {0x09, "RCSLOW - Invalid Bit Settings !"},
               {0x02, "Invalid Bit Settings !"},
               {0x6A, "XTAL1 - Invalid Bit Settings !"},
               {0x22, "XINPUT"},
               {0x2A, "XTAL1"}};
  for (const Case& c : cases) {
    test::ImageSpec spec;
    spec.object = {0, 0, 2, 0, 8, 0, 0, 0, 0x32};
    spec.clockMode = c.mode;
    ScriptedHost host;
    host.options.InhibitWarnings = true;
    const AnalysisPtr a = test::ListImage(host, test::BuildImage(spec));
    ASSERT_TRUE(a);
    const ListingLine* line = LastLineAt(*a, 4);
    ASSERT_NE(line, nullptr);
    const std::string_view text = line->text.substr(38);
    const std::size_t comment = text.find(" ; Clock Mode");
    ASSERT_NE(comment, std::string_view::npos) << line->text;
    const std::string_view value = text.substr(0, text.find_last_not_of(' ', comment) + 1);
    EXPECT_EQ(value, std::string("BYTE     ") + c.text) << int(c.mode) << ": " << line->text;
  }
}

// An instruction cut off by the end of the image: the value decoder says so,
// and the listing's line shows the bytes there are. The program starts at
// $7FFC with PUSH 0, PUSH 0, then a PUSH of a word with one byte left, or a
// USING without its effect byte.
TEST(SpinDecode, InstructionRunningOffTheImageShowsOnlyItsBytes) {
  const std::uint8_t push[] = {0x39, 0x12};
  EXPECT_TRUE(DecodeSpin(push, 0).truncated);
  EXPECT_EQ(DecodeSpin(push, 0).mnemonic, "PUSH");
  const std::uint8_t increment[] = {0x46};
  EXPECT_TRUE(DecodeSpin(increment, 0).truncated);
  EXPECT_EQ(DecodeSpin(increment, 0).mnemonic, "USING");

  struct Case {
    std::uint8_t tail[2];
    std::int32_t at;
    const char* bytes;
    const char* text;
  } cases[] = {{{0x39, 0x12}, 0x7FFE, "39 12 ", "PUSH"}, {{0x35, 0x46}, 0x7FFF, "46 ", "USING    VAR+4"}};
  for (const Case& c : cases) {
    const std::vector<std::uint8_t> image = test::ImageEndingWith(c.tail[0], c.tail[1]);
    ScriptedHost host;
    host.options.InhibitWarnings = true;
    host.options.ShowLabels = false;
    const AnalysisPtr a = test::ListImage(host, image, "end.eeprom");
    ASSERT_TRUE(a);
    const ListingLine* line = LastLineAt(*a, c.at);
    ASSERT_NE(line, nullptr) << c.text;
    EXPECT_EQ(line->text.substr(13, std::string_view(c.bytes).size()), c.bytes) << line->text;
    EXPECT_EQ(line->text.substr(38), c.text) << line->text;
  }
}

// Tracing gives a variable the size it is accessed with, and a local variable
// its line in the method's stack frame.
TEST(SpinDecode, TracingMarksVariableSizes) {
  ScriptedHost host;
  host.options.ShowLabels = true;
  // POP VAR+12 as a word, PUSH LOC+4, RETURN; variables from $001C.
  const AnalysisPtr a = ListMethod(host, {0xA9, 0x0C, 0x64, 0x32}, 16);
  ASSERT_TRUE(a);
  const ListingLine* word = LastLineAt(*a, 0x1C + 12);
  ASSERT_NE(word, nullptr);
  EXPECT_EQ(word->text.substr(13, 6), "00 00 ") << word->text;
  EXPECT_EQ(word->text.substr(38, 9), "WORD     ") << word->text;
  ASSERT_NE(word->defines, std::nullopt) << word->text;
  const ListingLine* pop = test::CodeLineAt(*a, kMethod);
  ASSERT_NE(pop, nullptr);
  EXPECT_EQ(pop->operands(), *word->defines + ".WORD");
  const ListingLine* push = test::CodeLineAt(*a, kMethod + 2);
  ASSERT_NE(push, nullptr);
  // The local at +4 is named in the instruction and defined in the stack frame before the method.
  const std::string local(push->operands());
  EXPECT_NE(local.find_first_not_of("0123456789+"), std::string::npos);
  EXPECT_NE(a->listing.find("+0004                  " + local + " "), std::string::npos) << local;
}

}  // namespace
}  // namespace brevin
