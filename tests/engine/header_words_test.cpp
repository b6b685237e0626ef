// Crafted header words on sample images whose checksum is then mended, so
// nothing but the header check stands between them and the tables: each image
// is listed with a sound model and JSON, or refused by name, and the Spin
// source recovery gives files or an error. The sanitizer build runs them too.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "brevin/engine.h"
#include "fuzz_case.h"
#include "json_output.h"
#include "json_rules.h"
#include "test_support.h"

namespace brevin {
namespace {

const std::map<std::string, std::size_t>& WordOffsets() {
  static const std::map<std::string, std::size_t> offsets = {
      {"PBASE", 6}, {"VBASE", 8}, {"SBASE", 10}, {"PINIT", 12}, {"SINIT", 14}};
  return offsets;
}

void PutWord(std::vector<std::uint8_t>& image, std::size_t at, std::uint32_t value) {
  image[at] = static_cast<std::uint8_t>(value);
  image[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint32_t WordOf(const std::vector<std::uint8_t>& image, std::size_t at) { return image[at] | image[at + 1] << 8; }

// The checksum byte that brings the bytes' sum to 0 again.
void MendChecksum(std::vector<std::uint8_t>& image) {
  image[5] = 0;
  unsigned sum = 0;
  for (const std::uint8_t b : image) sum += b;
  image[5] = static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

// Lists the image through the facade (model wanted, checksum accepted), writes
// and checks its JSON, and recovers its Spin source with and without the
// listing's labels. Returns the status and message, or the first broken rule.
struct Outcome {
  LoadStatus status = LoadStatus::Listed;
  std::string message;
  std::string problem;
};

Outcome RunEverywhere(const std::vector<std::uint8_t>& image, const Options& options) {
  test::ScriptedHost host;
  host.options = options;
  Engine engine(host);
  const LoadResult result = engine.DisassembleBytes("crafted.eeprom", image, false, true);
  Outcome out{result.status, result.message, {}};
  if (result.status == LoadStatus::Listed) {
    out.problem = fuzz::ModelProblems(*result.analysis);
    if (out.problem.empty()) {
      const nlohmann::json doc = nlohmann::json::parse(cli::AnalysisJson(*result.analysis), nullptr, false);
      out.problem = doc.is_discarded() ? "JSON that does not parse" : fuzz::JsonSchemaProblems(doc);
    }
  } else if (result.message.empty()) {
    out.problem = "a refusal without a message";
  }
  if (out.problem.empty()) out.problem = fuzz::SpinSourceProblems(image, result.analysis.get());
  if (out.problem.empty()) out.problem = fuzz::SpinSourceProblems(image);
  return out;
}

// One case a line: the sample image, WORD=$VALUE..., then "listed" or
// "refused: " and text the refusal holds.
TEST(HeaderWords, CraftedCasesAreListedOrRefusedByName) {
  std::ifstream cases(std::string(BREVIN_TEST_DATA) + "/header_words.txt");
  ASSERT_TRUE(cases) << "header_words.txt";
  int count = 0;
  for (std::string line; std::getline(cases, line);) {
    if (line.empty() || line[0] == '#') continue;
    SCOPED_TRACE(line);
    const std::size_t bar = line.find('|');
    ASSERT_NE(bar, std::string::npos);
    std::istringstream words(line.substr(0, bar));
    std::string sample;
    words >> sample;
    std::vector<std::uint8_t> image = test::ReadBytes(std::string(BREVIN_TEST_DATA) + "/" + sample);
    ASSERT_GT(image.size(), 16u);
    for (std::string word; words >> word;) {
      const std::size_t equals = word.find("=$");
      ASSERT_NE(equals, std::string::npos);
      const auto offset = WordOffsets().find(word.substr(0, equals));
      ASSERT_NE(offset, WordOffsets().end());
      PutWord(image, offset->second, static_cast<std::uint32_t>(std::stoul(word.substr(equals + 2), nullptr, 16)));
    }
    MendChecksum(image);
    std::string expected = line.substr(bar + 1);
    expected = expected.substr(expected.find_first_not_of(' '));
    const Outcome out = RunEverywhere(image, Options{});
    EXPECT_EQ(out.problem, "");
    if (expected == "listed") {
      EXPECT_EQ(out.status, LoadStatus::Listed) << out.message;
    } else {
      ASSERT_TRUE(expected.starts_with("refused: "));
      EXPECT_EQ(out.status, LoadStatus::Refused);
      EXPECT_NE(out.message.find(expected.substr(9)), std::string::npos) << out.message;
    }
    ++count;
  }
  EXPECT_GE(count, 20);
}

// Every header word at the image's edges ($0000, $7FFF, $8000, $FFFF) and next
// to each of the other words, on a short .binary and a whole .eeprom, with the
// options that reach most of the listing.
TEST(HeaderWords, EveryWordAtTheEdgesAndNearTheOthers) {
  Options options;
  options.SymbolTable = true;
  options.TraceAllMethods = true;
  options.InhibitWarnings = true;
  for (const char* sample : {"led_chaser.binary", "lcd_clock.eeprom"}) {
    const std::vector<std::uint8_t> base = test::ReadBytes(std::string(BREVIN_TEST_DATA) + "/" + sample);
    ASSERT_GT(base.size(), 16u);
    int listed = 0, refused = 0;
    for (const auto& [name, offset] : WordOffsets()) {
      std::set<std::uint32_t> values = {0x0000, 0x0001, 0x7FFC, 0x7FFF, 0x8000, 0x8004, 0xFFFF};
      for (const auto& [other, otherOffset] : WordOffsets()) {
        if (other == name) continue;
        for (int delta : {-8, -4, -1, 0, 1, 4, 8}) values.insert((WordOf(base, otherOffset) + delta) & 0xFFFF);
      }
      for (const std::uint32_t value : values) {
        std::vector<std::uint8_t> image = base;
        PutWord(image, offset, value);
        MendChecksum(image);
        const Outcome out = RunEverywhere(image, options);
        EXPECT_EQ(out.problem, "") << sample << " " << name << " = " << value;
        (out.status == LoadStatus::Listed ? listed : refused) += 1;
      }
    }
    EXPECT_GT(listed, 0) << sample;
    EXPECT_GT(refused, 0) << sample;
  }
}

}  // namespace
}  // namespace brevin
