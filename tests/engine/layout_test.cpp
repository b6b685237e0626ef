// Line layout: columns, continuation lines, blank lines, indentation and the
// core's own data lines.
#include <gtest/gtest.h>

#include <limits>
#include <string_view>
#include <vector>

#include "brevin/engine.h"
#include "brevin/text.h"
#include "brevin/version_text.h"
#include "engine_probe.h"
#include "test_support.h"

namespace brevin {
namespace {

using test::Lines;
using test::ScriptedHost;

class LayoutTest : public ::testing::Test {
 protected:
  ScriptedHost host;
  test::EngineProbe e{host};

  void SetUp() override {
    e.Opt = Options{};
    e.LastLineBlank = false;
  }
  void Line(const std::string& addr, const std::string& bytes, const std::string& label, const std::string& opcode,
            const std::string& operand) {
    e.LineAddr = addr;
    // The address as a number, as the listing's own producers set it beside the text.
    const bool hex = addr.size() >= 4 && addr.find_first_not_of("0123456789ABCDEF") >= 4;
    e.LineHub = hex ? std::stoi(addr.substr(0, 4), nullptr, 16) : -1;
    e.InstrBytes = bytes;
    e.LineLabel = label;
    e.LineOpcode = opcode;
    e.LineOperand = operand;
    e.FormatLine();
  }
  // Everything listed so far, the folding queue included.
  std::vector<std::string> Out() {
    e.FlushPendingLines();
    return Lines(e.Listing);
  }
};

TEST_F(LayoutTest, SixByteInstructionContinuesUnderTheSixthByteAddress) {
  Line("0020", "01 02 03 04 05 06", "", "CALL", "x");
  const auto lines = Out();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(13, 15), "01 02 03 04 05 ");
  EXPECT_EQ(lines[0].substr(38), "CALL     x");
  EXPECT_EQ(lines[1], "0025          + 06");
}

TEST_F(LayoutTest, FourteenBytesGiveContinuationsOfFourFourAndOne) {
  std::string bytes;
  for (int i = 1; i <= 14; ++i) bytes += (bytes.empty() ? "" : " ") + HexText(static_cast<std::uint32_t>(i), 2);
  Line("1000", bytes, "", "X", "");
  const auto lines = Out();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "1005          + 06 07 08 09");
  EXPECT_EQ(lines[2], "1009          + 0A 0B 0C 0D");
  EXPECT_EQ(lines[3], "100D          + 0E");
}

TEST_F(LayoutTest, LongLabelsPushTheOpcodeOrGetTheTwoMarker) {
  Line("0000", "", "ABCDEFGHI", "RET", "");  // nine characters end at the opcode column
  Line("0000", "", "ABCDEFGHIJ", "RET", "");
  Line("0000", "", "ABCDEFGHIJ", "   RET", "");  // leading blanks absorb the excess
  const auto lines = Out();
  EXPECT_EQ(lines[0], std::string("0000") + std::string(25, ' ') + "ABCDEFGHI RET");
  EXPECT_EQ(lines[1], std::string("0000") + std::string(25, ' ') + "ABCDEFGHIJ [2]RET");
  EXPECT_EQ(lines[2], std::string("0000") + std::string(25, ' ') + "ABCDEFGHIJ  RET");
}

TEST_F(LayoutTest, BlankLineRequestsNeverStack) {
  Line("_0000", "", "", "A", "_");
  Line("", "", "", "_", "");
  Line("_0001", "", "", "B", "");
  e.EmitBlankLine();
  e.EmitBlankLine();
  e.FlushPendingLines();
  Line("0002", "", "", "C", "");
  const auto lines = Out();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1].substr(0, 4), "0000");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3].substr(0, 4), "0001");
  EXPECT_EQ(lines[4], "");
  EXPECT_EQ(lines[5].substr(0, 4), "0002");
}

TEST_F(LayoutTest, IndentationGrowsAfterAndShrinksBeforeButNotBelowZero) {
  Line("0000", "", "", "REPEAT", "x>");
  Line("0001", "", "", "A", "");
  Line("0002", "", "", "UNTIL", "y<");
  Line("0003", "", "", "B", "<");
  Line("0004", "", "", "C", "");
  const auto lines = Out();
  EXPECT_EQ(lines[0].find("REPEAT"), 38u);
  EXPECT_EQ(lines[1].find('A', 5), 40u);
  EXPECT_EQ(lines[2].find("UNTIL"), 38u);
  EXPECT_EQ(lines[2].substr(38), "UNTIL    y");
  EXPECT_EQ(lines[3].find('B', 5), 38u);
  EXPECT_EQ(e.IndentLevel, 0);
}

TEST_F(LayoutTest, WithoutTheImageLabelsOpcodesAndOperandsStartAtZeroNineEighteen) {
  e.Opt.ShowImage = false;
  Line("0000", "AA BB", "S1", "CALL", "x");
  EXPECT_EQ(Out()[0], "S1       CALL     x");
}

TEST_F(LayoutTest, HeaderBlockColumnsAndClockMode) {
  std::vector<std::uint8_t> bytes{0x00, 0xB4, 0xC4, 0x04, 0x6F, 0x1A, 0x10, 0x00,
                                  0xB4, 0x01, 0x24, 0x02, 0x34, 0x00, 0x28, 0x02};
  e.LoadImageBytes(bytes);
  e.ReadCursor = 0;
  e.ListHeaderBlock();
  e.LineOpcode = "END";  // one more line, so the last header line keeps its blank line
  e.LineOperand.clear();
  e.EmitLine();
  const auto lines = Out();
  ASSERT_EQ(lines.size(), 12u);
  const std::string& freq = lines[0];
  EXPECT_EQ(freq.substr(0, 4), "0000");
  EXPECT_EQ(freq.substr(13, 11), "00 B4 C4 04");
  EXPECT_EQ(freq.substr(38, 4), "LONG");
  EXPECT_EQ(freq.substr(47, 8), "80000000");
  EXPECT_EQ(freq.substr(62), "; Clock Freq");
  EXPECT_EQ(lines[1].substr(38), "BYTE     XTAL1_PLL16x   ; Clock Mode");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3].substr(38), "BYTE     $1A            ; Checksum");
  EXPECT_EQ(lines[6].substr(38), "WORD     $01B4          ; VBASE - Base of Variables");
  EXPECT_EQ(lines[10], "");
  EXPECT_EQ(e.ReadCursor, 16);
}

TEST_F(LayoutTest, DataItemsAndEquates) {
  std::vector<std::uint8_t> bytes(0x40, 0);
  bytes[0x20] = 65;
  bytes[0x24] = 0x79;
  e.LoadImageBytes(bytes);
  e.Opt.ShowLabels = false;
  e.SetFlag(0x20, flag::Byte | flag::Aray);
  e.SetFlag(0x24, flag::Long);
  e.SetFlag(0x25, flag::Byte);
  e.SectionState = section::Data;

  e.ReadCursor = 0x20;
  e.ListDataItem();
  e.ReadCursor = 0x24;
  e.ListDataItem();
  const auto lines = Out();
  EXPECT_EQ(lines[0].substr(38), "BYTE     \"A\"            ; 65");
  EXPECT_EQ(lines[1].substr(38), "LONG     121");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], "0025" + std::string(25, ' ') + "B0024_1  EQU      $0024+1");
  EXPECT_EQ(lines[4], "");
  EXPECT_TRUE(e.HasFlag(0x24, flag::Done));
}

TEST_F(LayoutTest, MarkerLineStandsBetweenBlankLinesAndKeepsTheLabel) {
  e.ReadCursor = 0x10;
  e.LineLabel = "S5";
  e.ListMarker("PBASE", "ALIGN", "OBJECT");
  EXPECT_EQ(e.LineLabel, "S5");
  e.LineOpcode = "END";
  e.LineOperand.clear();
  e.EmitLine();
  const auto lines = Out();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], "0010" + std::string(25, ' ') + "PBASE    ALIGN    OBJECT ");
  EXPECT_EQ(lines[2], "");
}

TEST_F(LayoutTest, ReservedAssemblerVariablesFollowTheirBlock) {
  std::vector<std::uint8_t> bytes(0x100, 0);
  bytes[0x48] = 0x01;
  bytes[0x4B] = 0x80;
  e.LoadImageBytes(bytes);
  e.CogOrgBase = 0x40;
  e.StartAsmBlock();
  e.VarIds[0x48] = 3;  // register 2
  e.VarIds[0x4C] = 4;  // register 3
  e.VarIds[0x54] = 5;  // register 5
  e.ReadCursor = 0x48;
  e.FlushAsmVars();
  const auto lines = Out();
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[1], std::string(38, ' ') + "ALIGN           ORG      $02");
  EXPECT_EQ(lines[3], "       002   00 00 00 00     V3                       LONG     0         ; $01000080 / -2147483647");
  EXPECT_EQ(lines[4], "       003   00 00 00 00     V4                       LONG     0");
  EXPECT_EQ(lines[6], std::string(38, ' ') + "ALIGN           ORG      $05");
  EXPECT_EQ(lines[8].substr(0, 31), "       005   00 00 00 00     V5");
  EXPECT_FALSE(e.AsmVarsPending);
}

TEST(TextOps, ConstantsHexDecimalAndPlurals) {
  EXPECT_EQ(ConstText(15), "15");
  EXPECT_EQ(ConstText(16), "$10");
  EXPECT_EQ(ConstText(0xFF), "$FF");
  EXPECT_EQ(ConstText(0x100), "$0100");
  EXPECT_EQ(ConstText(0xFFFF0000u), "$FFFF0000");
  EXPECT_EQ(ConstText(0xFFFFFFFFu), "$FFFFFFFF");
  EXPECT_EQ(ConstText(0x80000000u), "$80000000");
  EXPECT_EQ(ConstText(0x101), "257");
  EXPECT_EQ(ConstText(0xFFF9FFFFu), "-393217");
  EXPECT_EQ(ConstText(0x1F0, true), "$1F0");
  EXPECT_EQ(ConstText(0x10, true), "$10");
  EXPECT_EQ(ConstText(9), "9");
  EXPECT_EQ(ConstText(10), "10");
  // Decimal text around the one- and two-digit shortcuts, and at the ends of the range.
  for (const std::int64_t n : {std::int64_t{0}, std::int64_t{9}, std::int64_t{10}, std::int64_t{99}, std::int64_t{100},
                               std::int64_t{-1}, std::int64_t{-100}, std::numeric_limits<std::int64_t>::max(),
                               std::numeric_limits<std::int64_t>::min()}) {
    EXPECT_EQ(DecText(n), std::to_string(n));
    EXPECT_EQ(SignedText(n), (n >= 0 ? "+" : "") + std::to_string(n));
    std::string appended = "x";
    AppendDecimal(appended, n);
    EXPECT_EQ(appended, "x" + std::to_string(n));
  }
  // Lines end at CR LF, LF or CR; nothing follows a final line end.
  using Views = std::vector<std::string_view>;
  EXPECT_EQ(TextLines("a\r\nb\rc\nd"), (Views{"a", "b", "c", "d"}));
  EXPECT_EQ(TextLines("a\n\r\n\r"), (Views{"a", "", ""}));
  EXPECT_EQ(TextLines("\r\r\n"), (Views{"", ""}));
  EXPECT_EQ(TextLines(""), Views{});
  EXPECT_EQ(HexText(0x12345, 4), "2345");
  EXPECT_EQ(PadTo("ABCDEFGHI", 9), "ABCDEFGHI ");
  EXPECT_EQ(Plural(0, "symbol"), "No symbols");
  EXPECT_EQ(Plural(1, "symbol"), "1 symbol");
  EXPECT_EQ(Plural(5, "symbol"), "5 symbols");
  EXPECT_EQ(Percent(4660, 32768), "14");
}

TEST(TextOps, CodePointsOfUtf8Text) {
  EXPECT_EQ(CodePointCount(""), 0u);
  EXPECT_EQ(CodePointCount("abc.binary"), 10u);
  EXPECT_EQ(CodePointCount("Pr\xC3\xBC" "fung"), 7u);             // u with diaeresis: two bytes
  EXPECT_EQ(CodePointCount("\xE2\x82\xAC" "5"), 2u);              // euro sign: three bytes
  EXPECT_EQ(CodePointCount("\xF0\x9F\x93\x81"), 1u);              // a folder emoji: four bytes
  // Bytes that start no well-formed sequence count one each: Latin-1 text, a cut
  // sequence, an overlong form, a surrogate.
  EXPECT_EQ(CodePointCount("caf\xE9"), 4u);
  EXPECT_EQ(CodePointCount("\xE2\x82"), 2u);
  EXPECT_EQ(CodePointCount("\xC0\xAF"), 2u);
  EXPECT_EQ(CodePointCount("\xED\xA0\x80"), 3u);
}

TEST(VersionTexts, VersionAboutAndKnownIssues) {
  EXPECT_EQ(VersionText(), "Version 1.03 #0101");
  EXPECT_EQ(VersionText({2, 12, 7}), "Version 2.12 #0007");
  EXPECT_EQ(ZeroPad(123456, 4), "3456");
  EXPECT_EQ(KnownIssuesText("> "), "\r\n> Incomplete 'Using' effects decoding");
  const std::string about = WhatsNewText();
  EXPECT_EQ(about.rfind("Zorvik Disassembler for the Propeller Chip - Version 1.03 #0101\r\n", 0), 0u);
  const std::string tail = "\r\n\r\nKnown Bugs ...\r\n\r\n    * Incomplete 'Using' effects decoding";
  EXPECT_EQ(about.substr(about.size() - tail.size()), tail);
}

}  // namespace
}  // namespace brevin
