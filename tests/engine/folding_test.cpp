// Expression folding by the ids the Spin printer gives its lines: lines emitted
// by their text and id, and runs of real bytecode through the printer and the
// folding (tests/data/decode/fold_runs.txt, one run a line). Whole methods
// listed from images are in tests/data/decode/fold.txt.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "brevin/engine.h"
#include "isa/spin_tables.h"
#include "engine_probe.h"
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


// tests/data/decode/fold_runs.txt: "[option ...] BYTES = LINE / LINE ...", the
// bytes of Spin instructions listed one after the other through the printer
// and the folding, and the printed lines as "OPCODE|operand". Options are
// brevin-cli's fold switches; labels are off. "#" starts a comment line.
TEST_F(FoldTest, PrintedBytecodeFoldsByTheOpcodesIds) {
  std::ifstream in(std::string(BREVIN_TEST_DATA) + "/decode/fold_runs.txt");
  std::string text;
  int cases = 0;
  for (int number = 1; std::getline(in, text); ++number) {
    if (text.empty() || text[0] == '#') continue;
    const std::size_t equals = text.find(" = ");
    ASSERT_NE(equals, std::string::npos) << "fold_runs.txt:" << number;
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
      else ADD_FAILURE() << "fold_runs.txt:" << number << ": unknown word " << word;
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
    EXPECT_EQ(Printed(), expected) << "fold_runs.txt:" << number;
    ++cases;
  }
  EXPECT_GT(cases, 0);
}

}  // namespace
}  // namespace brevin
