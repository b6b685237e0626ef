// Expression folding: which runs of lines merge, into what, and under which option.
//
// The fixture emits lines by their text, with the id the Spin printer gives
// such a line (OpOf); the cases in tests/data/decode/fold.txt list real
// bytecode, one run of instructions a line, through the printer and the folding.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "brevin/engine.h"
#include "isa/spin_tables.h"
#include "test_support.h"

namespace brevin {
namespace {

using test::Lines;
using test::ScriptedHost;

class FoldTest : public ::testing::Test {
 protected:
  ScriptedHost host;
  test::EngineProbe e{host};
  int address = 0x100;

  void SetUp() override {
    e.Opt = Options{};
    e.Opt.ShowImage = false;  // label, opcode and operand columns only
  }
  // The id the Spin printer gives a line with this text: that of the first
  // opcode of the table with the mnemonic (a FRAME's by the call its operand
  // names); a PUSH of what reads as a number is a literal push's, with the
  // value of a decimal 0..15.
  static FoldOp OpOf(const std::string& opcode, const std::string& operand) {
    const SpinTables& spin = BuiltInSpinTables();
    if (opcode == "PUSH") {
      const bool number = !operand.empty() && std::string_view("#$0123456789-").find(operand[0]) != std::string::npos;
      const int literal = SmallDecimal(operand);
      return literal >= 0 ? LiteralPush(static_cast<std::uint32_t>(literal)) : spin.FoldOps[number ? 0x38 : 0x40];
    }
    for (std::size_t i = 0; i < spin.SpinOpcodeTable.size(); ++i) {
      const SpinOpcodeEntry& entry = spin.SpinOpcodeTable[i];
      if (entry.Mnemonic == opcode && (opcode != "FRAME" || entry.OperandFormat.ends_with(operand))) {
        return spin.FoldOps[i];
      }
    }
    return FoldOp::None;
  }
  // The value of a decimal 0..15 (after an optional "#"), else -1.
  static int SmallDecimal(const std::string& operand) {
    const std::string digits = operand.starts_with('#') ? operand.substr(1) : operand;
    if (digits.empty() || digits.size() > 2 || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    const int value = std::stoi(digits);
    return value <= 15 ? value : -1;
  }
  void Emit(const std::string& opcode, const std::string& operand, const std::string& label = "") {
    EmitAs(OpOf(opcode, operand), opcode, operand, label);
  }
  void EmitAs(FoldOp op, const std::string& opcode, const std::string& operand, const std::string& label = "") {
    e.LineAddr = std::to_string(address++);
    e.InstrBytes = "00";
    e.LineLabel = label;
    e.LineOpcode = opcode;
    e.LineOp = op;
    e.LineOperand = operand;
    e.EmitLine();
  }
  // The printed lines, each as "OPCODE|operand" (label first when there is one).
  std::vector<std::string> Printed() {
    e.FlushPendingLines();
    std::vector<std::string> out;
    for (const std::string& line : Lines(e.Listing)) {
      if (line.empty()) continue;
      std::string label = line.substr(0, 9);
      label.erase(label.find_last_not_of(' ') + 1);
      std::string opcode = line.size() > 9 ? line.substr(9, 9) : "";
      opcode.erase(opcode.find_last_not_of(' ') + 1);
      const std::string operand = line.size() > 18 ? line.substr(18) : "";
      out.push_back((label.empty() ? "" : label + ":") + opcode + "|" + operand);
    }
    return out;
  }
};

TEST_F(FoldTest, PushAndPopBecomeLet) {
  Emit("PUSH", "5");
  Emit("POP", "VAR+4");
  EXPECT_EQ(Printed(), std::vector<std::string>{"LET|VAR+4, 5"});
}

TEST_F(FoldTest, LabelledLineKeepsItsPlaceButLaterLinesMergeIntoIt) {
  Emit("PUSH", "5");
  Emit("PUSH", "7", "J1");
  Emit("POP", "VAR+0");
  e.FlushPendingLines();
  const auto lines = Lines(e.Listing);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "         PUSH     5");
  EXPECT_EQ(lines[1], "J1       LET      VAR+0, 7");

  test::EngineProbe f(host);
  f.Opt = Options{};
  f.LineAddr = "0100";
  f.InstrBytes = "38 07";
  f.LineLabel = "J1";
  f.LineOpcode = "PUSH";
  f.LineOp = LiteralPush(7);
  f.LineOperand = "7";
  f.EmitLine();
  f.LineAddr = "0102";
  f.InstrBytes = "41";
  f.LineLabel.clear();
  f.LineOpcode = "POP";
  f.LineOp = FoldOp::Pop;
  f.LineOperand = "VAR+0";
  f.EmitLine();
  f.FlushPendingLines();
  EXPECT_EQ(Lines(f.Listing)[0], "0100         38 07 41        J1       LET      VAR+0, 7");
}

TEST_F(FoldTest, LabelledLinesInsideARunStopFurtherMerging) {
  e.Opt.FoldIndexes = true;
  Emit("FRAME", "CALL WITH RETURN VALUE");
  Emit("PUSH", "a");
  Emit("PUSH", "b", "L1");
  Emit("CALL", "x");
  Emit("PUSH", "v");
  Emit("PUSH", "3", "L2");
  Emit("PUSH", "MEM[][].BYTE");
  EXPECT_EQ(Printed(), (std::vector<std::string>{"FRAME|CALL WITH RETURN VALUE", "PUSH|a", "L1:CALL|x ( b )",
                                                 "PUSH|v", "L2:PUSH|3", "PUSH|MEM[][].BYTE"}));
}

TEST_F(FoldTest, CallsTakeTheirArgumentsAndTheFrame) {
  Emit("FRAME", "CALL WITHOUT RETURN VALUE");
  Emit("PUSH", "a");
  Emit("PUSH", "b");
  Emit("PUSH", "c");
  Emit("CALL", "S5");
  Emit("FRAME", "CALL WITH RETURN VALUE");
  Emit("CALLOBJ", "O2, +3");
  Emit("POP", "VAR+8");
  EXPECT_EQ(Printed(), (std::vector<std::string>{"CALLSUB|S5 ( a, b, c )", "OBJFUN|O2, +3, VAR+8"}));

  e.Listing.clear();
  e.Opt.FoldArguments = false;  // the frame still takes a call with nothing between them
  Emit("FRAME", "CALL WITH ABORT TRAP");
  Emit("PUSH", "a");
  Emit("CALL", "S5");
  Emit("FRAME", "CALL IGNORING ABORT TRAP");
  Emit("CALL", "S6");
  EXPECT_EQ(Printed(), (std::vector<std::string>{"FRAME|CALL WITH ABORT TRAP", "PUSH|a", "CALL|S5", "CALLIGN|S6"}));
}

TEST_F(FoldTest, CogStartTakesAtMostThreeArguments) {
  Emit("PUSH", "x");
  Emit("PUSH", "a");
  Emit("PUSH", "b");
  Emit("PUSH", "c");
  Emit("COGISUB", "");
  EXPECT_EQ(Printed(), (std::vector<std::string>{"PUSH|x", "COGISUB|a, b, c"}));
}

TEST_F(FoldTest, IndexesFillTheirBracketsOnlyWithFoldIndexes) {
  Emit("PUSH", "2");
  Emit("PUSH", "VAR+4[]");
  Emit("POP", "VAR+0");
  EXPECT_EQ(Printed(), (std::vector<std::string>{"PUSH|2", "PUSH|VAR+4[]", "POP|VAR+0"}));

  e.Listing.clear();
  e.Opt.FoldIndexes = true;
  Emit("PUSH", "2");
  Emit("PUSH", "VAR+4[]");
  Emit("POP", "VAR+0");
  Emit("PUSH", "VAR+0");
  Emit("PUSH", "3");
  Emit("PUSH", "MEM[][].BYTE");
  Emit("PUSH", "4");
  Emit("PUSH", "7");
  Emit("PUSH", "OUTA[..]");
  Emit("PUSH", "4");
  Emit("POP", "SPR[]");
  // Filled brackets no longer block LET: the POP takes the range push before it.
  EXPECT_EQ(Printed(), (std::vector<std::string>{"LET|VAR+0, VAR+4[2]", "PUSH|MEM[VAR+0][3].BYTE",
                                                 "LET|SPR[4], OUTA[4, 7]"}));
}

TEST_F(FoldTest, DoubleIndexNeedsTwoPushesBeforeIt) {
  e.Opt.FoldIndexes = true;
  Emit("PUSH", "3");
  Emit("PUSH", "MEM[][].BYTE");
  EXPECT_EQ(Printed(), (std::vector<std::string>{"PUSH|3", "PUSH|MEM[][].BYTE"}));
}

TEST_F(FoldTest, SpecialRegistersFoldOnlyForSmallDecimalConstants) {
  Emit("PUSH", "12");
  Emit("PUSH", "SPR[]");
  Emit("PUSH", "$10");
  Emit("PUSH", "SPR[]");
  EXPECT_EQ(Printed(), (std::vector<std::string>{"PUSH|PHSA", "PUSH|$10", "PUSH|SPR[]"}));
}

TEST_F(FoldTest, TheLinesIdDecidesNotItsText) {
  EmitAs(FoldOp::None, "PUSH", "5");  // reads like a push (a data or source line may)
  Emit("POP", "VAR+4");
  EmitAs(FoldOp::Push, "PUSH", "12");  // reads like a number, pushes no constant
  Emit("PUSH", "SPR[]");
  EmitAs(FoldOp::PushConstant, "PUSH", "3");  // a constant, but no literal the printer read
  Emit("PUSH", "SPR[]");
  Emit("PUSH", "1");
  EmitAs(FoldOp::Push, "PUSH", "5");
  Emit("LOOKUPR", "");
  EmitAs(FoldOp::FrameNoResult, "FRAME", "CALL WITH RETURN VALUE");  // the frame's kind is its id's
  Emit("CALL", "S1");
  EmitAs(FoldOp::None, "CALL", "S2");  // an assembler CALL after a PUSH takes no argument
  EXPECT_EQ(Printed(), (std::vector<std::string>{"PUSH|5", "POP|VAR+4", "PUSH|12", "PUSH|SPR[]", "PUSH|3",
                                                 "PUSH|SPR[]", "PUSH|1", "PUSH|5", "LOOKUPR|", "CALLSUB|S1",
                                                 "CALL|S2"}));
}

TEST_F(FoldTest, ReturnValueAndOperators) {
  Emit("PUSH", "0");
  Emit("RETVAL", "_");
  Emit("PUSH", "1");
  Emit("PUSH", "5");
  Emit("LOOKUPR", "");
  Emit("PUSH", "1");
  Emit("PUSH", "5");
  Emit("CASER", "J3");
  Emit("PUSH", "9");
  Emit("CASE", "J4");
  Emit("PUSH", "#B1");
  Emit("PUSH", "0");
  Emit("PUSH", "8");
  Emit("BYTEFIL", "");
  EXPECT_EQ(Printed(), (std::vector<std::string>{"RETURN|0", "LOOKUP|1, 5", "CASE|1, 5, J3", "CASE|9, J4",
                                                 "BYTEFIL|#B1, 0, 8"}));
  EXPECT_EQ(e.Listing.find("\r\n\r\n"), std::string::npos);  // the RETVAL's blank line went with it
}

TEST_F(FoldTest, QueueOfTenKeepsThePrintedOrderAndDropsTheLastBlankRequest) {
  e.Opt.FoldOperators = false;
  for (int i = 0; i < 25; ++i) Emit("PUSH", std::to_string(i));
  Emit("RETURN", "_");
  const auto printed = Printed();
  ASSERT_EQ(printed.size(), 26u);
  for (int i = 0; i < 25; ++i) EXPECT_EQ(printed[static_cast<std::size_t>(i)], "PUSH|" + std::to_string(i));
  EXPECT_EQ(printed.back(), "RETURN|");
  EXPECT_EQ(Lines(e.Listing).back(), "         RETURN");
}

// tests/data/decode/fold.txt: "[option ...] BYTES = LINE / LINE ...", the
// bytes of Spin instructions listed one after the other through the printer
// and the folding, and the printed lines as "OPCODE|operand". Options are
// brevin-cli's fold switches; labels are off. "#" starts a comment line.
TEST_F(FoldTest, PrintedBytecodeFoldsByTheOpcodesIds) {
  std::ifstream in(std::string(BREVIN_TEST_DATA) + "/decode/fold.txt");
  std::string text;
  int cases = 0;
  for (int number = 1; std::getline(in, text); ++number) {
    if (text.empty() || text[0] == '#') continue;
    const std::size_t equals = text.find(" = ");
    ASSERT_NE(equals, std::string::npos) << "fold.txt:" << number;
    e.Opt = Options{};
    e.Opt.ShowImage = false;
    e.Opt.ShowLabels = false;
    e.Listing.clear();
    std::vector<std::uint8_t> image(0x100, 0);
    std::istringstream words(text.substr(0, equals));
    for (std::string word; words >> word;) {
      if (word == "fold-indexes") e.Opt.FoldIndexes = true;
      else if (word == "no-fold-opcodes") e.Opt.FoldOpcodes = false;
      else if (word == "no-fold-operators") e.Opt.FoldOperators = false;
      else if (word == "no-fold-effects") e.Opt.FoldEffects = false;
      else if (word == "force-hash") e.Opt.ForceHash = true;
      else if (word.size() == 2 && word.find_first_not_of("0123456789ABCDEF") == std::string::npos)
        image.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
      else ADD_FAILURE() << "fold.txt:" << number << ": unknown word " << word;
    }
    const std::int64_t end = static_cast<std::int64_t>(image.size());
    image.resize(image.size() + 8, 0);
    e.LoadImageBytes(image);
    e.ClearVarIds();
    e.LineLabel.clear();
    for (std::int64_t at = 0x100; at < end; at = e.ReadCursor) {
      e.ListSpinInstruction(at);
      e.EmitLine();
    }
    std::vector<std::string> expected;
    for (std::size_t from = equals + 3;;) {
      const std::size_t slash = text.find(" / ", from);
      expected.push_back(text.substr(from, slash - from));
      if (slash == std::string::npos) break;
      from = slash + 3;
    }
    EXPECT_EQ(Printed(), expected) << "fold.txt:" << number;
    ++cases;
  }
  EXPECT_GT(cases, 0);
}

}  // namespace
}  // namespace brevin
