// Symbol letters and numbering, names in operands, the symbol table, the
// variable area, stack frames and the object list.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

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
  // A link that names itself, or links that go round, end at the plain address.
  e.SymbolIds[0x230] = static_cast<std::int32_t>(0x80000000u | 0x230);
  EXPECT_EQ(Name(0x230), "$0230");
  e.SymbolIds[0x240] = static_cast<std::int32_t>(0x80000000u | 0x244);
  e.SymbolIds[0x244] = static_cast<std::int32_t>(0x80000000u | 0x240);
  EXPECT_EQ(Name(0x240), "$0240");
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

// The lines of the listing from the one starting with `first` on, `count` of them.
std::vector<std::string> LinesFrom(const std::string& listing, const std::string& first, std::size_t count) {
  const auto lines = Lines(listing);
  const auto at = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(first); });
  if (at == lines.end()) return {};
  return {at, at + static_cast<std::ptrdiff_t>(std::min<std::size_t>(count, static_cast<std::size_t>(lines.end() - at)))};
}

// The listing of a small image, with the options set.
std::string ListingOf(test::ImageSpec spec, bool symbolTable = false) {
  ScriptedHost host;
  host.options.InhibitWarnings = true;
  host.options.SymbolTable = symbolTable;
  if (spec.varBytes == 0) spec.varBytes = 4;
  const AnalysisPtr a = test::ListImage(host, test::BuildImage(spec));
  return a ? a->listing : std::string();
}

// The data lines of the listing: the text from the opcode column on and the
// label, by address.
struct DataLine {
  std::string text, label;
};
std::map<std::int32_t, DataLine> DataLines(const std::string& listing) {
  std::map<std::int32_t, DataLine> lines;
  for (const std::string& line : Lines(listing)) {
    if (line.size() < 40 || line[4] != ' ' || line[13] == ' ' || line[13] == '+') continue;
    if (!std::all_of(line.begin(), line.begin() + 4, [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); })) continue;
    std::string label = line.substr(29, 9);
    label.erase(label.find_last_not_of(' ') + 1);
    lines[static_cast<std::int32_t>(std::stol(line.substr(0, 4), nullptr, 16))] = {line.substr(38), label};
  }
  return lines;
}

// Sixteen bytes of variables from $0020: a byte at +6 and a word at the odd
// address +$B are referenced (POP VAR+6 as a byte, POP VAR+11 as a word); the
// rest is filled with the largest items that fit, unnamed.
TEST(VariableArea, FillersTakeTheLargestSizeThatFits) {
  test::ImageSpec spec;
  spec.object = {0, 0, 2, 0, 8, 0, 0, 0, 0x89, 0x06, 0xA9, 0x0B, 0x32};
  spec.varBytes = 16;
  const auto lines = DataLines(ListingOf(spec));
  const std::pair<std::int32_t, const char*> items[] = {
      {0x20, "LONG"}, {0x24, "WORD"}, {0x26, "BYTE"}, {0x27, "BYTE"},  // +7: odd address, a byte
      {0x28, "WORD"}, {0x2A, "BYTE"},                                 // directly before a referenced item: a byte
      {0x2B, "WORD"}, {0x2D, "BYTE"}, {0x2E, "WORD"}};
  for (const auto& [address, size] : items) {
    ASSERT_TRUE(lines.count(address)) << address;
    EXPECT_EQ(lines.at(address).text.substr(0, 4), size) << address;
    EXPECT_EQ(lines.at(address).label.empty(), address != 0x26 && address != 0x2B) << address;
  }
  EXPECT_FALSE(lines.count(0x22) || lines.count(0x25) || lines.count(0x2C));
}

// A byte and a word of the object referenced after its Spin code: the bytes
// from the referenced one up to the word become a run of bytes, named once.
TEST(VariableArea, BytesReferencedAfterSpinCodeBecomeRuns) {
  test::ImageSpec spec;  // PUSH OBJ+13 as a byte, PUSH OBJ+16 as a word, RETURN, then data
  spec.object = {0, 0, 2, 0, 8, 0, 0, 0, 0x84, 0x0D, 0xA4, 0x10, 0x32, 1, 2, 3, 4, 5, 6, 7};
  const auto lines = DataLines(ListingOf(spec));
  for (const std::int32_t address : {0x1D, 0x1E, 0x1F}) {
    ASSERT_TRUE(lines.count(address)) << address;
    EXPECT_EQ(lines.at(address).text.substr(0, 9), "BYTE     ") << address;
    EXPECT_EQ(lines.at(address).label.empty(), address != 0x1D) << address;
  }
  ASSERT_TRUE(lines.count(0x20));
  EXPECT_EQ(lines.at(0x20).text, "WORD     1284");
  EXPECT_FALSE(lines.at(0x20).label.empty());
}

// Method 1 at $001C: PUSH LOC+12, then calls method 2 without its result;
// method 2 at $0022: PUSH LOC+4. Each method's frame lists its own locals only.
TEST(StackFrame, OnlyOffsetTwelveUsed) {
  test::ImageSpec spec;
  spec.object = {0, 0, 3, 0, 12, 0, 0, 0, 18, 0, 0, 0, 0x6C, 0x01, 0x05, 0x02, 0x32, 0, 0x64, 0x32};
  const std::string listing = ListingOf(spec);
  const auto lines = LinesFrom(listing, std::string(38, ' ') + "ALIGN    STACK          ; For S4", 11);
  ASSERT_EQ(lines.size(), 11u) << listing;
  EXPECT_EQ(lines[2], "      +0000" + std::string(27, ' ') + "LONG     0              ; Unused Result Variable");
  EXPECT_EQ(lines[3], "      +0004" + std::string(27, ' ') + "LONG     0");
  EXPECT_EQ(lines[4], "      +0008" + std::string(27, ' ') + "LONG     0");
  EXPECT_EQ(lines[5], "      +000C                  VL1      LONG     0");
  EXPECT_EQ(lines[7], std::string(38, ' ') + "ALIGN    SPIN ");
  EXPECT_EQ(lines[9], "001C         6C              S4       PUSH     VL1");
  EXPECT_NE(listing.find("      +0004                  VL2      LONG     0"), std::string::npos);  // method 2's own
}

// Method 1 pushes its result variable and calls method 2 for its result;
// method 2 pushes its result variable too.
TEST(StackFrame, ResultVariableUseWithAndWithoutAFunctionCall) {
  test::ImageSpec spec;
  spec.object = {0, 0, 3, 0, 12, 0, 0, 0, 20, 0, 0, 0, 0x60, 0x00, 0x05, 0x02, 0x41, 0x32, 0, 0, 0x60, 0x32};
  const std::string listing = ListingOf(spec);
  EXPECT_NE(listing.find("VL1      LONG     0              ; Unexpected Result Variable Used"), std::string::npos) << listing;
  EXPECT_NE(listing.find("VL2      LONG     0              ; Result Variable"), std::string::npos) << listing;
}

TEST(StackFrame, NoLocalsNoFrameEvenForAFunction) {
  test::ImageSpec spec;  // method 1 calls method 2 for its result; method 2 returns 0
  spec.object = {0, 0, 3, 0, 12, 0, 0, 0, 18, 0, 0, 0, 0x00, 0x05, 0x02, 0x41, 0x32, 0, 0x35, 0x33};
  const std::string listing = ListingOf(spec);
  EXPECT_NE(listing.find("F5       RETURN   0"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("ALIGN    STACK"), std::string::npos) << listing;
}

// The top object is $20 long; the object after it, at $0030, has length 0.
TEST(ObjectList, EndsAtAZeroLengthObject) {
  test::ImageSpec spec;
  spec.object = {0x20, 0, 2, 1, 12, 0, 0, 0, 0x20, 0, 0, 0, 0x32};
  spec.object.resize(0x24, 0);
  spec.setLength = false;
  const std::string listing = ListingOf(spec, true);
  const auto lines = LinesFrom(listing, "Object List", 10);
  ASSERT_EQ(lines.size(), 10u) << listing;
  EXPECT_EQ(lines[3], "1 object used");
  EXPECT_EQ(lines[5], "0010   PBASE    0030   $0030");
  EXPECT_EQ(lines[6], "0014   +1       001C   S3");
  EXPECT_EQ(lines[8], "0030   $0030    0030   $0030");
  EXPECT_EQ(lines[9], "");
  EXPECT_EQ(Lines(listing).back(), "") << "nothing listed after the zero-length object";
}

TEST(SymbolTable, CountsHeaderAddressesAndShowsCrossReferences) {
  // An assembly block whose first long calls a routine at cog $10 returning through $21.
  constexpr std::uint32_t call = 23u << 26 | 3u << 22 | 15u << 18 | 0x21u << 9 | 0x10u;
  constexpr std::uint32_t loop = 23u << 26 | 1u << 22 | 15u << 18 | 1u;
  ScriptedHost host;
  host.options.SymbolTable = true;
  const AnalysisPtr a = test::ListImage(host, test::AsmImage({call, loop}));
  ASSERT_TRUE(a);
  const std::string& listing = a->listing;
  EXPECT_NE(listing.find("\r\n13 symbols used\r\n\r\n"), std::string::npos);
  EXPECT_NE(listing.find("\r\n\r\n0010   PBASE    Base of Program\r\n0120   VBASE    Base of Variables\r\n"),
            std::string::npos);
  EXPECT_NE(listing.find("\r\nA = Assembler Jump Destination\r\nL = Long Variable\r\nS = Subroutine Entry Point\r\n"),
            std::string::npos);
  EXPECT_NE(listing.find("\r\n0060   A6       Asmb   Call               Called from 0020  Paired with 00A4 = A6_ret\r\n"),
            std::string::npos) << listing.substr(listing.find("Symbol Table"));
  EXPECT_NE(listing.find("\r\n0018   S3       Spin   Call\r\n"), std::string::npos);
}

}  // namespace
}  // namespace brevin
