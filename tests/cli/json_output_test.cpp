// brevin-cli --json: the object's shape, and its lines joined are the listing
// the same options print, on every sample image.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <map>
#include <sstream>

#include "cli.h"
#include "cli_run.h"
#include "json_output.h"
#include "test_support.h"

namespace brevin {
namespace {

using Json = nlohmann::json;
const std::string kData = BREVIN_TEST_DATA;

using CliResult = test::CliRun;
using test::RunCli;

bool IsIntOrNull(const Json& j) { return j.is_null() || j.is_number_integer(); }

// Checks the keys and types the schema promises; returns the first problem or "".
std::string CheckShape(const Json& j) {
  if (j.value("format", "") != "brevin-analysis" || j.value("version", 0) != 1) return "format or version";
  const Json& image = j.at("image");
  for (const char* key : {"size", "clock_freq", "clock_mode", "pbase", "vbase", "sbase", "pinit", "sinit"}) {
    if (!image.at(key).is_number_integer()) return std::string("image.") + key;
  }
  if (!image.at("path").is_string() || !image.at("checksum_ok").is_boolean()) return "image path or checksum_ok";
  for (const Json& r : j.at("regions")) {
    if (!r.at("start").is_number_integer() || !r.at("end").is_number_integer() || !r.at("kind").is_string() ||
        !(r.at("name").is_null() || r.at("name").is_string())) {
      return "region";
    }
    static const std::vector<std::string> kinds{"header", "object_table", "spin",  "asm",
                                                "data",   "variables",    "stack", "free"};
    if (std::find(kinds.begin(), kinds.end(), r["kind"].get<std::string>()) == kinds.end()) return "region kind";
  }
  const auto nameOrNull = [](const Json& v) { return v.is_null() || v.is_string(); };
  const auto abstainedOrAbsent = [](const Json& v) { return !v.contains("library_abstained") || v["library_abstained"] == true; };
  for (const Json& o : j.at("objects")) {
    if (!o.at("address").is_number_integer()) return "object address";
    if (!nameOrNull(o.at("library_name")) || !abstainedOrAbsent(o)) return "object library name";
    for (const Json& m : o.at("methods")) {
      if (!nameOrNull(m.at("library_name")) || !abstainedOrAbsent(m)) return "method library name";
      if (!m.at("index").is_number_integer() || !m.at("address").is_number_integer() ||
          !(m.at("label").is_null() || m.at("label").is_string()) ||
          !(m.at("source_name").is_null() || m.at("source_name").is_string())) {
        return "method";
      }
    }
  }
  for (const Json& b : j.at("asm_blocks")) {
    if (!b.at("hub_address").is_number_integer() || !b.at("longs").is_number_integer() || !b.contains("label")) {
      return "asm block";
    }
  }
  for (const Json& s : j.at("symbols")) {
    if (!s.at("name").is_string() || !s.at("address").is_number_integer() || !s.at("referenced_from").is_array() ||
        !nameOrNull(s.at("library_name"))) {
      return "symbol";
    }
  }
  for (const Json& l : j.at("lines")) {
    if (!l.at("text").is_string() || !IsIntOrNull(l.at("address")) || !IsIntOrNull(l.at("cog")) ||
        !(l.at("defines").is_null() || l.at("defines").is_string()) || !l.at("refs").is_array()) {
      return "line";
    }
    for (const Json& r : l["refs"]) {
      for (const char* key : {"start", "end", "target"}) {
        if (!r.at(key).is_number_integer()) return "ref";
      }
      if (!r.at("name").is_string()) return "ref name";
    }
  }
  return {};
}

// A method's label is null exactly when no symbol names its address; a label
// or region name is never an address text standing in for a missing name.
std::string UnnamedLabelProblem(const Json& j) {
  std::map<long long, std::string> names;
  for (const Json& s : j["symbols"]) names[s["address"].get<long long>()] = s["name"].get<std::string>();
  for (const Json& o : j["objects"]) {
    for (const Json& m : o["methods"]) {
      const auto it = names.find(m["address"].get<long long>());
      if (it == names.end() ? !m["label"].is_null() : m["label"] != it->second) return "method label";
    }
  }
  const auto addressText = [](const Json& v) {
    return v.is_string() && (v.get<std::string>().starts_with("$") || v.get<std::string>().starts_with("ORG $"));
  };
  for (const Json& r : j["regions"]) {
    if (addressText(r["name"])) return "region name";
  }
  for (const Json& b : j["asm_blocks"]) {
    if (addressText(b["label"])) return "asm block label";
  }
  return "";
}

// A code line's instruction keys: its bytes are the image's from its address,
// and its mnemonic, condition and operands are words of its own text.
std::string InstructionFieldProblem(const Json& j, const std::vector<std::uint8_t>& image) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  int codeLines = 0;
  for (const Json& line : j["lines"]) {
    if (!line.contains("size")) continue;
    ++codeLines;
    const std::string text = line["text"];
    const std::size_t at = line["address"];
    const std::size_t size = line["size"];
    std::string hex;
    for (std::size_t k = at; k < at + size && k < image.size(); ++k) {
      hex += kDigits[image[k] >> 4];
      hex += kDigits[image[k] & 0xF];
    }
    if (size == 0 || line["bytes"] != hex) return "bytes of: " + text;
    const std::string mnemonic = line["mnemonic"], operands = line["operands"];
    if (mnemonic.empty() || text.find(mnemonic) == std::string::npos) return "mnemonic of: " + text;
    if (text.find(operands) == std::string::npos) return "operands of: " + text;
    if (line.contains("condition") && text.find(line["condition"].get<std::string>() + " ") == std::string::npos) {
      return "condition of: " + text;
    }
  }
  return codeLines > 0 ? "" : "no code lines";
}

TEST(JsonOutput, EverySampleHasTheSchemaAndItsLinesAreTheListing) {
  std::vector<std::string> images;
  for (const auto& entry : std::filesystem::directory_iterator(kData)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".binary" || ext == ".eeprom") images.push_back(entry.path().string());
  }
  ASSERT_GE(images.size(), 40u);
  std::sort(images.begin(), images.end());
  for (std::size_t i = 0; i < images.size(); ++i) {
    // Half of them with other view options, which the JSON must follow too.
    std::vector<std::string> options;
    if (i % 2 == 1) options = {"--symbol-table", "--colons", "--no-show-labels"};
    if (i % 4 == 2) options = {"--no-show-image", "--fold-indexes"};
    std::vector<std::string> args = options;
    args.push_back(images[i]);
    const CliResult listing = RunCli(args);
    args.insert(args.begin(), "--json");
    const CliResult json = RunCli(args);
    ASSERT_EQ(listing.status, 0) << images[i];
    ASSERT_EQ(json.status, 0) << images[i];
    const Json j = Json::parse(json.out);
    EXPECT_EQ(CheckShape(j), "") << images[i];
    std::string joined;
    for (const Json& line : j["lines"]) joined += line["text"].get<std::string>() + "\r\n";
    EXPECT_EQ(joined, listing.out) << images[i];
    EXPECT_EQ(j["image"]["path"], images[i]);
    EXPECT_EQ(j["regions"].back()["end"], 32768);
    EXPECT_EQ(UnnamedLabelProblem(j), "") << images[i];
    EXPECT_EQ(InstructionFieldProblem(j, test::ReadBytes(images[i])), "") << images[i];
  }
}

TEST(JsonOutput, ValuesOfASampleAndNullsWhereAbsent) {
  const CliResult run = RunCli({"--json", kData + "/led_chaser.binary"});
  ASSERT_EQ(run.status, 0) << run.err;
  const Json j = Json::parse(run.out);
  EXPECT_EQ(j["image"]["pbase"], 0x10);
  const auto bytes = test::ReadBytes(kData + "/led_chaser.binary");
  EXPECT_EQ(j["image"]["clock_freq"], bytes[0] | bytes[1] << 8 | bytes[2] << 16 | bytes[3] << 24);
  EXPECT_EQ(j["image"]["size"], bytes.size());
  // The title line has no address; a line of code has one and no cog.
  EXPECT_TRUE(j["lines"][1]["address"].is_null());
  bool sawCode = false;
  for (const Json& line : j["lines"]) {
    if (line["address"] == j["image"]["pinit"] && line["defines"].is_string()) {
      sawCode = true;
      EXPECT_TRUE(line["cog"].is_null());
    }
  }
  EXPECT_TRUE(sawCode);
}

TEST(JsonOutput, RefusedAndUnreadableImagesWriteNothingAndExitAsTheListingWould) {
  test::TempDir dir;
  std::vector<std::uint8_t> bad(64, 0);
  bad[8] = 0xFF;  // VBASE = $FF00, outside the image
  bad[9] = 0xFF;
  test::WriteBytes(dir.File("bad.binary"), bad);
  for (const std::string& file : {dir.File("bad.binary"), dir.File("missing.binary")}) {
    const CliResult listing = RunCli({file});
    const CliResult json = RunCli({"--json", file});
    EXPECT_NE(json.status, 0);
    EXPECT_EQ(json.status, listing.status);
    EXPECT_EQ(json.out, "");
    EXPECT_EQ(json.err, listing.err);
  }
  EXPECT_EQ(RunCli({"--json", "--flags-report", kData + "/led_chaser.binary"}).status, cli::kExitUsage);
}

TEST(JsonOutput, OutDirWritesOneJsonFileEachAsASingleRunDoes) {
  test::TempDir dir;
  const std::vector<std::string> images = {kData + "/led_chaser.eeprom", kData + "/adc_scope.eeprom"};
  std::vector<std::string> args = {"--json", "--out-dir", dir.path(), "--jobs", "2"};
  args.insert(args.end(), images.begin(), images.end());
  const CliResult batch = RunCli(args);
  ASSERT_EQ(batch.status, 0) << batch.err;
  for (const std::string& image : images) {
    const std::string written = test::ReadText(dir.File(std::filesystem::path(image).filename().string() + ".json"));
    EXPECT_EQ(written, RunCli({"--json", image}).out) << image;
  }
}

}  // namespace
}  // namespace brevin

namespace brevin {
namespace {

// Counts the pieces a sink receives and keeps their text.
class PieceSink : public cli::TextSink {
 public:
  void Write(std::string_view text) override {
    text_ += text;
    ++pieces_;
    largest_ = std::max(largest_, text.size());
  }
  std::string text_;
  int pieces_ = 0;
  std::size_t largest_ = 0;
};

TEST(JsonOutput, StreamedInBoundedPiecesAsTheSameText) {
  test::ScriptedHost host;
  host.options.SymbolTable = true;
  Engine engine(host);
  const LoadResult result = engine.LoadAndDisassemble(kData + "/serial_terminal.eeprom", false);
  ASSERT_TRUE(result.analysis);
  PieceSink sink;
  cli::WriteAnalysisJson(*result.analysis, sink);
  EXPECT_EQ(sink.text_, cli::AnalysisJson(*result.analysis));
  EXPECT_GT(sink.pieces_, 2);
  EXPECT_LT(sink.largest_, 80u * 1024);  // one chunk and the element that passed it
  EXPECT_NO_THROW(Json::parse(sink.text_));
}

TEST(JsonOutput, StringsAreEscapedAndBadUtf8Replaced) {
  Analysis a;
  a.image.path = std::string("d\\\"q\tx\x01\x7f\xc3\xa9\xff\xe2\x82", 13);
  a.regions.push_back(Region{0, 32768, RegionKind::Free, "free"});
  const Json j = Json::parse(cli::AnalysisJson(a));
  EXPECT_EQ(j["image"]["path"], "d\\\"q\tx\x01\x7f\xc3\xa9\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
  EXPECT_TRUE(j["lines"].empty());
  EXPECT_EQ(j["regions"][0]["name"], "free");
}

}  // namespace
}  // namespace brevin
