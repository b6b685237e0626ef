// The decoders case by case, one line a case in tests/data/decode: the bytes of
// one instruction in a small image, the text of its line in the listing out,
// and the instruction's size checked by how many bytes that line stands for.
//
// A line reads "[option ...] BYTES = TEXT": BYTES are hex bytes in image order
// (an assembler long is four bytes, least significant first), TEXT is the
// opcode column without its leading blanks, then "|" and the operand column
// when it is not empty; the listing lays the two out with the opcode padded to
// nine characters. An operand ending in "_" asks for a blank line after the
// line, one ending in ">" for the lines after it to be indented. Options, named as brevin-cli's switches: "labels"
// (names instead of numbers), "no-fold-effects", "cast", "force-hash" and
// "default-long" ("Default Long Variables" checked: long sizes are written).
// The option "value" checks the decoded value instead of the listing: TEXT is
// the family, then the operator ("Operator Add") or the variable (base, size,
// access, "indexed" when it is, "+offset"), as ValueText writes them.
// Blank lines and lines starting with "#" are skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "brevin/engine.h"
#include "brevin/spin_instruction.h"
#include "brevin/text.h"
#include "test_support.h"

namespace brevin {
namespace {

struct DecodeCase {
  int line = 0;
  std::vector<std::string> options;
  std::vector<std::uint8_t> bytes;
  std::string text;
};

std::vector<DecodeCase> ReadCases(const std::string& name) {
  std::ifstream in(std::string(BREVIN_TEST_DATA) + "/decode/" + name);
  std::vector<DecodeCase> cases;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t equals = line.find(" = ");
    if (equals == std::string::npos) {
      ADD_FAILURE() << name << ":" << number << ": no \" = \" in the line";
      continue;
    }
    DecodeCase c;
    c.line = number;
    c.text = line.substr(equals + 3);
    std::istringstream words(line.substr(0, equals));
    for (std::string word; words >> word;) {
      if (word.size() == 2 && std::isxdigit(static_cast<unsigned char>(word[0])) &&
          std::isxdigit(static_cast<unsigned char>(word[1]))) {
        c.bytes.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
      } else {
        c.options.push_back(word);
      }
    }
    cases.push_back(std::move(c));
  }
  return cases;
}

// The line of the listing an instruction makes, found by its address in the
// model, and its text from the opcode column on without leading blanks.
struct ListedCase {
  std::string text;
  std::size_t size = 0;       // image bytes the line stands for
  bool mnemonic = false;      // the model found a mnemonic on it
  bool blankAfter = false;    // the next line is blank
  std::ptrdiff_t indentGrowth = 0;  // the next code line's text starts this much further right
  bool found = false;
};

// The expected text as the listing lays it out: the opcode, blanks up to nine
// characters (at least one) when an operand follows, and the operand; a
// trailing "_" of the operand asks for a blank line after it, ">" for the
// lines after it to be indented by two, "<" for its own line to be outdented.
struct ExpectedCase {
  std::string text;
  bool blankAfter = false;
  bool indents = false;
};

ExpectedCase Expect(const std::string& caseText) {
  ExpectedCase expected;
  const std::size_t bar = caseText.find('|');
  const std::string opcode = caseText.substr(0, bar);
  std::string operand = bar == std::string::npos ? std::string() : caseText.substr(bar + 1);
  std::size_t gap = operand.empty() || opcode.empty() ? 0 : opcode.size() >= 9 ? 1 : 9 - opcode.size();
  if (!operand.empty() && operand.back() == '_') {  // dropped after the gap is laid out
    expected.blankAfter = true;
    operand.pop_back();
  } else if (!operand.empty() && operand.back() == '>') {
    expected.indents = true;
    operand.pop_back();
  } else if (!operand.empty() && operand.back() == '<') {
    operand.pop_back();
  }
  if (!expected.blankAfter) gap = operand.empty() || opcode.empty() ? 0 : opcode.size() >= 9 ? 1 : 9 - opcode.size();
  expected.text = opcode + std::string(gap, ' ') + operand;
  return expected;
}

// The decoded family, operator and variable of a Spin instruction in words.
std::string ValueText(const SpinInstruction& ins) {
  static constexpr std::string_view kOps[] = {
      "FrameResult", "FrameNoResult", "FrameAbortTrap", "FrameIgnoreAbort", "Jump", "Call", "CallObject",
      "CallObjectIndexed", "CountStart", "CountRepeat", "JumpIfFalse", "JumpIfTrue", "CaseDone", "Case", "CaseRange",
      "LookEnd", "Lookup", "LookDown", "LookupRange", "LookDownRange", "PopStack", "Run", "StrSize", "StrComp",
      "ByteFill", "WordFill", "LongFill", "WaitPeq", "ByteMove", "WordMove", "LongMove", "WaitPne", "ClkSet",
      "CogStop", "LockReturn", "WaitCnt", "SpecialRegister", "WaitVid", "CogInitPush", "LockNewPush", "LockSetPush",
      "LockClearPush", "CogInit", "LockNew", "LockSet", "LockClear", "Abort", "AbortValue", "Return", "ReturnValue",
      "PushMinusOne", "PushZero", "PushOne", "PushPacked", "PushByte", "PushWord", "PushThreeBytes", "PushLong",
      "Undefined", "RegisterBit", "RegisterBits", "Register", "VariableFast", "Variable", "Operator"};
  static constexpr std::string_view kMath[] = {
      "RotateRight", "RotateLeft", "ShiftRight", "ShiftLeft", "LimitMin", "LimitMax", "Negate", "BitNot",
      "BitAnd", "Absolute", "BitOr", "BitXor", "Add", "Subtract", "ShiftArithmetic", "Reverse",
      "LogicAnd", "Encode", "LogicOr", "Decode", "Multiply", "MultiplyHigh", "Divide", "Modulo",
      "SquareRoot", "Less", "Greater", "NotEqual", "Equal", "LessOrEqual", "GreaterOrEqual", "LogicNot"};
  static constexpr std::string_view kBases[] = {"None", "Memory", "Object", "Variables", "Locals", "SpecialRegister",
                                                "Register"};
  static constexpr std::string_view kAccesses[] = {"Push", "Pop", "Using", "Address", "Invalid"};
  static_assert(std::size(kOps) == static_cast<std::size_t>(SpinOp::Operator) + 1);
  std::string text(kOps[static_cast<std::size_t>(ins.op)]);
  if (ins.op == SpinOp::Operator) return text + " " + std::string(kMath[static_cast<std::size_t>(ins.math)]);
  const SpinVariable& v = ins.variable;
  if (v.base == SpinBase::None) return text;
  text += " " + std::string(kBases[static_cast<std::size_t>(v.base)]);
  text += v.size == SpinSize::Byte ? " Byte" : v.size == SpinSize::Word ? " Word" : " Long";
  text += " " + std::string(kAccesses[static_cast<std::size_t>(v.access)]);
  if (v.indexed) text += " indexed";
  return text + " +" + std::to_string(v.offset);
}

class DecodeCases : public ::testing::Test {
 protected:
  // The options of a case: no labels and no folding but of effects, as the
  // texts in the files are written, then the case's own option words.
  static Options CaseOptions(const DecodeCase& c) {
    Options options;
    options.ShowLabels = false;
    options.FoldOpcodes = options.FoldOperators = options.FoldArguments = false;
    options.FoldSpr = options.FoldIndexes = false;
    options.InhibitWarnings = true;
    for (const std::string& option : c.options) {
      if (option == "labels") options.ShowLabels = true;
      else if (option == "no-fold-effects") options.FoldEffects = false;
      else if (option == "cast") options.CastVariables = true;
      else if (option == "force-hash") options.ForceHash = true;
      else if (option == "default-long") options.DefaultLongVariables = true;
      else if (option == "value") continue;
      else ADD_FAILURE() << "line " << c.line << ": unknown option " << option;
    }
    return options;
  }

  // A Spin case is the first instruction of the top object's one method,
  // followed by a RETURN; an assembler case is cog register 0 of a block the
  // method starts with COGNEW(@block, 0), followed by a cog's worth of zero
  // longs, so that any jump of the instruction lands on code.
  static std::vector<std::uint8_t> CaseImage(const DecodeCase& c, bool assembly, std::int32_t& at) {
    test::ImageSpec spec;
    if (assembly) {
      spec.object = {0, 0, 2, 0, 8, 0, 0, 0, 0x34, 0xC7, 0x10, 0x35, 0x2C, 0x32, 0, 0};
      spec.object.insert(spec.object.end(), c.bytes.begin(), c.bytes.end());
      spec.object.resize(spec.object.size() + 4 * 0x200, 0);
      at = 0x10 + 0x10;
    } else {
      spec.object = {0, 0, 2, 0, 8, 0, 0, 0};
      spec.object.insert(spec.object.end(), c.bytes.begin(), c.bytes.end());
      spec.object.push_back(0x32);
      at = 0x10 + 8;
    }
    spec.varBytes = 32;
    return test::BuildImage(spec);
  }

  static ListedCase List(const DecodeCase& c, bool assembly) {
    std::int32_t at = 0;
    const std::vector<std::uint8_t> image = CaseImage(c, assembly, at);
    test::ScriptedHost host;
    host.options = CaseOptions(c);
    Engine engine(host);
    const LoadResult result = engine.DisassembleBytes("case.binary", image, false);
    ListedCase listed;
    if (result.status != LoadStatus::Listed || !result.analysis) return listed;
    const std::vector<ListingLine>& lines = result.analysis->lines;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const ListingLine& line = lines[i];
      if (line.address != at || line.kind != LineKind::Code || line.textStart == std::string::npos) continue;
      listed.found = true;
      const std::string_view text = line.text.substr(line.textStart);
      const std::size_t first = text.find_first_not_of(' ');
      listed.text = first == std::string_view::npos ? std::string() : std::string(text.substr(first));
      listed.size = line.size;
      listed.mnemonic = !line.mnemonic().empty();
      listed.blankAfter = i + 1 < lines.size() && lines[i + 1].text.empty();
      for (std::size_t k = i + 1; k < lines.size(); ++k) {
        if (lines[k].size == 0 || lines[k].textStart == std::string::npos) continue;
        listed.indentGrowth = static_cast<std::ptrdiff_t>(lines[k].textStart) - static_cast<std::ptrdiff_t>(line.textStart);
        break;
      }
      break;
    }
    return listed;
  }

  void Check(const std::string& file, bool assembly) {
    const std::vector<DecodeCase> cases = ReadCases(file);
    ASSERT_FALSE(cases.empty()) << file;
    for (const DecodeCase& c : cases) {
      std::string bytes;
      for (const std::uint8_t b : c.bytes) bytes += HexText(b, 2) + " ";
      const std::string where = file + ":" + std::to_string(c.line) + ": " + bytes;
      if (std::find(c.options.begin(), c.options.end(), "value") != c.options.end()) {
        const SpinInstruction value = DecodeSpin(c.bytes, 0);
        EXPECT_EQ(ValueText(value), c.text) << where;
        EXPECT_EQ(value.size(), static_cast<std::int64_t>(c.bytes.size())) << where;
        continue;
      }
      const ListedCase listed = List(c, assembly);
      const ExpectedCase expected = Expect(c.text);
      ASSERT_TRUE(listed.found) << where << "is listed on no line of its own";
      EXPECT_EQ(listed.text, expected.text) << where << "= " << listed.text;
      // A line without a mnemonic (an undefined instruction) stands for no instruction.
      EXPECT_EQ(listed.size, listed.mnemonic ? c.bytes.size() : 0) << where << "the line stands for " << listed.size << " bytes";
      if (expected.blankAfter) {
        EXPECT_TRUE(listed.blankAfter) << where << "no blank line after it";
      }
      if (!assembly) {
        EXPECT_EQ(listed.indentGrowth, expected.indents ? 2 : 0) << where << "the next line's indentation";
        // The value decoder alone, over the bytes and nothing after them: the same
        // size, and one byte fewer cuts the instruction off.
        const SpinInstruction value = DecodeSpin(c.bytes, 0);
        EXPECT_EQ(value.size(), static_cast<std::int64_t>(c.bytes.size())) << where;
        EXPECT_FALSE(value.truncated) << where;
        if (c.bytes.size() > 1) {
          const std::span<const std::uint8_t> cut(c.bytes.data(), c.bytes.size() - 1);
          EXPECT_TRUE(DecodeSpin(cut, 0).truncated) << where;
        }
      }
    }
  }
};

TEST_F(DecodeCases, Spin) { Check("spin.txt", false); }
TEST_F(DecodeCases, Assembler) { Check("asm.txt", true); }

// Folding, one method a line in tests/data/decode/fold.txt: "[option ...]
// BYTES = LINE / LINE ...", the method's code lines as "LABEL:OPCODE|operand"
// (without "LABEL:" when the line has none). Options: "no-labels",
// "fold-indexes", "no-fold-operators", "no-fold-arguments".
TEST(FoldCases, MethodsListAsTheirFoldedLines) {
  const std::vector<DecodeCase> cases = ReadCases("fold.txt");
  ASSERT_FALSE(cases.empty());
  for (const DecodeCase& c : cases) {
    test::ScriptedHost host;
    host.options.InhibitWarnings = true;
    for (const std::string& option : c.options) {
      if (option == "no-labels") host.options.ShowLabels = false;
      else if (option == "fold-indexes") host.options.FoldIndexes = true;
      else if (option == "no-fold-operators") host.options.FoldOperators = false;
      else if (option == "no-fold-arguments") host.options.FoldArguments = false;
      else ADD_FAILURE() << "fold.txt:" << c.line << ": unknown option " << option;
    }
    test::ImageSpec spec;
    spec.object = c.bytes;
    const std::uint8_t table[] = {0, 0, 2, 0, 8, 0, 0, 0};  // the object's length word and its one method
    spec.object.insert(spec.object.begin(), std::begin(table), std::end(table));
    spec.varBytes = 32;
    const AnalysisPtr a = test::ListImage(host, test::BuildImage(spec));
    ASSERT_TRUE(a) << "fold.txt:" << c.line;
    const std::int32_t from = 0x18, to = from + static_cast<std::int32_t>(c.bytes.size());
    std::string listed;
    std::size_t bytes = 0;
    for (const ListingLine& line : a->lines) {
      if (!line.address || *line.address < from || *line.address >= to || line.size == 0) continue;
      bytes += line.size;
      if (!listed.empty()) listed += " / ";
      if (line.labelEnd > line.labelStart) listed += std::string(line.text.substr(line.labelStart, line.labelEnd - line.labelStart)) + ":";
      listed += std::string(line.mnemonic()) + "|" + std::string(line.operands());
    }
    EXPECT_EQ(listed, c.text) << "fold.txt:" << c.line;
    // A folded line carries the bytes of all its instructions, and blank line
    // requests of folded lines never stack up.
    EXPECT_EQ(bytes, c.bytes.size()) << "fold.txt:" << c.line;
    EXPECT_EQ(a->listing.find("\r\n\r\n\r\n"), std::string::npos) << "fold.txt:" << c.line;
  }
}

}  // namespace
}  // namespace brevin
