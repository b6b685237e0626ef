// The decoders case by case, one line a case in tests/data/decode: the bytes of
// one instruction in, the listing's opcode and operand texts out, and the
// instruction's size checked by how many bytes the decoder read.
//
// A line reads "[option ...] BYTES = TEXT": BYTES are hex bytes in image order
// (an assembler long is four bytes, least significant first), TEXT is the
// opcode column without its leading blanks, then "|" and the operand column
// when it is not empty. Options, named as brevin-cli's switches: "labels"
// (names instead of numbers), "no-fold-effects", "cast", "force-hash" and
// "default-long" ("Default Long Variables" checked: long sizes are written).
// Blank lines and lines starting with "#" are skipped.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "brevin/text.h"
#include "brevin/spin_instruction.h"
#include "test_support.h"

namespace brevin {
namespace {

constexpr std::int64_t kAt = 0x100;  // where the instruction is placed (cog address 0 for assembly)

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

class DecodeCases : public ::testing::Test {
 protected:
  test::ScriptedHost host;
  test::EngineProbe e{host};

  // Places the bytes, sets the options and returns the decoded line's text.
  std::string Decode(const DecodeCase& c, bool assembly) {
    std::vector<std::uint8_t> image(static_cast<std::size_t>(kAt), 0);
    image.insert(image.end(), c.bytes.begin(), c.bytes.end());
    image.resize(image.size() + 8, 0);
    e.LoadImageBytes(image);
    e.ClearVarIds();
    e.UsedLetters.clear();
    e.AsmVarCounter = 0;
    e.Opt = Options{};
    e.Opt.ShowLabels = false;
    e.DefaultLong = true;
    for (const std::string& option : c.options) {
      if (option == "labels") e.Opt.ShowLabels = true;
      else if (option == "no-fold-effects") e.Opt.FoldEffects = false;
      else if (option == "cast") e.Opt.CastVariables = true;
      else if (option == "force-hash") e.Opt.ForceHash = true;
      else if (option == "default-long") e.DefaultLong = false;
      else ADD_FAILURE() << "line " << c.line << ": unknown option " << option;
    }
    e.LineLabel.clear();
    e.CogOrgBase = kAt;
    if (assembly) {
      e.ListAsmInstruction(kAt);
    } else {
      e.ListSpinInstruction(kAt);
    }
    const std::size_t first = e.LineOpcode.find_first_not_of(' ');
    std::string text = first == std::string::npos ? std::string() : e.LineOpcode.substr(first);
    if (!e.LineOperand.empty()) text += "|" + e.LineOperand;
    return text;
  }

  void Check(const std::string& file, bool assembly) {
    const std::vector<DecodeCase> cases = ReadCases(file);
    ASSERT_FALSE(cases.empty()) << file;
    for (const DecodeCase& c : cases) {
      const std::string text = Decode(c, assembly);
      std::string bytes;
      for (const std::uint8_t b : c.bytes) bytes += HexText(b, 2) + " ";
      EXPECT_EQ(text, c.text) << file << ":" << c.line << ": " << bytes << "= " << text;
      EXPECT_EQ(e.ReadCursor - kAt, static_cast<std::int64_t>(c.bytes.size()))
          << file << ":" << c.line << ": the instruction is " << e.ReadCursor - kAt << " bytes long";
      if (!assembly) {
        // The value decoder alone, over the bytes and nothing after them: the same
        // size, and one byte fewer cuts the instruction off.
        const SpinInstruction value = DecodeSpin(c.bytes, 0);
        EXPECT_EQ(value.size(), static_cast<std::int64_t>(c.bytes.size())) << file << ":" << c.line;
        EXPECT_FALSE(value.truncated) << file << ":" << c.line;
        if (c.bytes.size() > 1) {
          const std::span<const std::uint8_t> cut(c.bytes.data(), c.bytes.size() - 1);
          EXPECT_TRUE(DecodeSpin(cut, 0).truncated) << file << ":" << c.line;
        }
      }
    }
  }
};

TEST_F(DecodeCases, Spin) { Check("spin.txt", false); }
TEST_F(DecodeCases, Assembler) { Check("asm.txt", true); }

}  // namespace
}  // namespace brevin
