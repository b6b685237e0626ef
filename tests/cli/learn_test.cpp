// --learn, --no-library-names and the library names in the JSON.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli_run.h"

namespace brevin {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
const std::string kData = BREVIN_TEST_DATA;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A scratch folder as XDG_DATA_HOME, with images and sources copied in.
class Learn : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::path(BREVIN_CLI_WORK) / ("learn_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "data");
    fs::create_directories(root_ / "images");
    saved_ = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
  }
  void TearDown() override {
    if (saved_.empty()) {
      unsetenv("XDG_DATA_HOME");
    } else {
      setenv("XDG_DATA_HOME", saved_.c_str(), 1);
    }
    fs::remove_all(root_);
  }
  fs::path Copy(const std::string& name, const std::string& as) {
    fs::copy_file(kData + "/" + name, root_ / "images" / as, fs::copy_options::overwrite_existing);
    return root_ / "images" / as;
  }
  fs::path Library() const { return root_ / "data" / "brevin" / "library.tsv"; }
  fs::path root_;
  std::string saved_;
};

TEST_F(Learn, AddsObjectsAndKeepsEveryEntryItHad) {
  const fs::path crc = Copy("crc_calc.binary", "crc_calc.binary");
  Copy("crc_calc.spin", "crc_calc.spin");
  test::CliRun run = test::RunCli({"--learn", crc.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("1 object named, 1 new"), std::string::npos) << run.err;
  const std::string first = ReadFile(Library());
  EXPECT_NE(first.find("\tcrc_calc\t"), std::string::npos);
  const fs::path pwm = Copy("dual_pwm.binary", "dual_pwm.binary");
  Copy("dual_pwm.spin", "dual_pwm.spin");
  run = test::RunCli({"--learn", pwm.string(), crc.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string both = ReadFile(Library());
  EXPECT_NE(both.find("\tcrc_calc\t"), std::string::npos);
  EXPECT_NE(both.find("\tdual_pwm\t"), std::string::npos);
  // The learned names reach the JSON of the image, without its source beside it.
  fs::remove(root_ / "images" / "crc_calc.spin");
  run = test::RunCli({"--json", crc.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  const Json j = Json::parse(run.out);
  EXPECT_EQ(j["objects"][0]["library_name"], "crc_calc");
  EXPECT_FALSE(j["objects"][0]["methods"][0]["library_name"].is_null());
  run = test::RunCli({"--json", "--no-library-names", crc.string()});
  EXPECT_TRUE(Json::parse(run.out)["objects"][0]["library_name"].is_null());
}

TEST_F(Learn, NamesChildObjectsByTheSourcesTheirParentNames) {
  const fs::path crc = Copy("crc_calc.binary", "crc_calc.binary");
  Copy("crc_calc.spin", "crc_calc.spin");
  test::CliRun run = test::RunCli({"--learn", crc.string()});
  EXPECT_NE(run.err.find("no source txpin.spin beside it"), std::string::npos) << run.err;
  // The child's source in another letter case is found all the same.
  Copy("txpin.spin", "TxPin.spin");
  run = test::RunCli({"--learn", crc.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("2 objects named, 1 new"), std::string::npos) << run.err;
  EXPECT_NE(ReadFile(Library()).find("\ttxpin\t"), std::string::npos);
  // A child source that does not fit its object: nothing of the image is learned.
  const fs::path other = Copy("crc_calc.binary", "other.binary");
  Copy("crc_calc.spin", "other.spin");
  fs::remove(root_ / "images" / "TxPin.spin");
  Copy("dual_pwm.spin", "txpin.spin");
  const std::string before = ReadFile(Library());
  run = test::RunCli({"--learn", other.string()});
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find("txpin.spin does not match the image's object of that name"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(Library()), before);
}

// An image whose sources are gone is recovered with the learned names: the
// child's file, the parent's OBJ name for it and the methods' own names.
TEST_F(Learn, TheRecoveredSourceTakesTheLearnedNames) {
  const fs::path crc = Copy("crc_calc.binary", "crc_calc.binary");
  Copy("crc_calc.spin", "crc_calc.spin");
  Copy("txpin.spin", "txpin.spin");
  ASSERT_EQ(test::RunCli({"--learn", crc.string()}).status, 0);
  const fs::path alone = Copy("crc_calc.binary", "mystery.binary");
  fs::create_directories(root_ / "named");
  fs::create_directories(root_ / "plain");
  test::CliRun run = test::RunCli({"--spin-source", (root_ / "named").string(), alone.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string top = ReadFile(root_ / "named" / "mystery.spin");
  EXPECT_NE(top.find("  out : \"txpin\""), std::string::npos) << top;
  EXPECT_NE(top.find("PUB main | c8, c16, c32, t"), std::string::npos) << top;
  EXPECT_NE(top.find("PRI crc8(addr, n) : crc | i"), std::string::npos) << top;
  EXPECT_NE(top.find("out.str("), std::string::npos) << top;
  const std::string child = ReadFile(root_ / "named" / "txpin.spin");
  EXPECT_NE(child.find("PUB tx(ch) | t, frame"), std::string::npos) << child;
  run = test::RunCli({"--no-library-names", "--spin-source", (root_ / "plain").string(), alone.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::exists(root_ / "plain" / "mystery_obj1.spin"));
  EXPECT_EQ(ReadFile(root_ / "plain" / "mystery.spin").find("out : "), std::string::npos);
}

TEST_F(Learn, RefusesSourcesThatDoNotMatchAndAMissingSource) {
  const fs::path crc = Copy("crc_calc.binary", "crc_calc.binary");
  Copy("crc_calc.spin", "crc_calc.spin");
  ASSERT_EQ(test::RunCli({"--learn", crc.string()}).status, 0);
  const std::string before = ReadFile(Library());
  const fs::path wrong = Copy("crc_calc.binary", "wrong.binary");
  Copy("dual_pwm.spin", "wrong.spin");
  test::CliRun run = test::RunCli({"--learn", wrong.string()});
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find("wrong.binary: wrong.spin does not match the image: "), std::string::npos) << run.err;
  const fs::path alone = Copy("crc_calc.binary", "alone.binary");
  run = test::RunCli({"--learn", alone.string()});
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find("alone.binary: no Spin source beside it"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(Library()), before);
}

TEST_F(Learn, ACorruptLibraryIsLeftAsItIsAndTheListingGoesOnWithOneWarning) {
  fs::create_directories(Library().parent_path());
  { std::ofstream(Library()) << "not a library\n"; }
  const fs::path crc = Copy("crc_calc.binary", "crc_calc.binary");
  Copy("crc_calc.spin", "crc_calc.spin");
  test::CliRun run = test::RunCli({"--learn", crc.string()});
  EXPECT_EQ(run.status, 4);
  EXPECT_NE(run.err.find("library.tsv: is no library of known objects (line 1"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(Library()), "not a library\n");
  run = test::RunCli({"--json", crc.string()});
  EXPECT_EQ(run.status, 0);
  std::size_t lines = 0;
  for (std::size_t at = run.err.find("library.tsv"); at != std::string::npos; at = run.err.find("library.tsv", at + 1)) ++lines;
  EXPECT_EQ(lines, 1u) << run.err;
  const test::CliRun listing = test::RunCli({"--no-include-source", crc.string()});
  const test::CliRun plain = test::RunCli({"--no-include-source", "--no-library-names", crc.string()});
  EXPECT_EQ(listing.out, plain.out);
}

}  // namespace
}  // namespace brevin
