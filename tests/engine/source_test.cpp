// Spin source lines beside the methods: matching by position, the section
// rules, the wrapper trailer, and the notices about the source file.
#include <gtest/gtest.h>

#include <fstream>

#include "brevin/engine.h"
#include "brevin/text.h"
#include "support/paths.h"
#include "test_support.h"

namespace brevin {
namespace {

using test::ScriptedHost;
using test::TempDir;

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class SourceTest : public ::testing::Test {
 protected:
  TempDir dir;
  ScriptedHost host;
  test::EngineProbe e{host};

  void SetUp() override {
    e.Opt = Options{};
    e.Opt.ShowImage = false;
    e.Opt.FoldOperators = false;
    e.ListingPass = true;
  }
  // Lists the source for `methods` method entries in a row; returns the source lines shown.
  std::vector<std::string> Insert(const std::string& source, int methods) {
    e.SourceReadPath = dir.File("prog.spin");
    WriteText(e.SourceReadPath, source);
    for (int i = 0; i < methods; ++i) e.InsertMethodSource(0x100 + i);
    e.FlushPendingLines();
    std::vector<std::string> shown;
    for (const std::string& line : test::Lines(e.Listing)) {
      if (!line.empty()) shown.push_back(line.substr(9));
    }
    return shown;
  }
};

TEST_F(SourceTest, PublicBlocksFirstThenPrivateThenNothing) {
  const std::string source =
      "CON\n  X = 1\nPRI helper\n  return 2\npub Start | a\n\n  a := helper\nVAR\n  long v\nPUB second\n  x\n"
      "DAT\n  byte 0\n";
  EXPECT_EQ(Insert(source, 4), (std::vector<std::string>{"; pub Start | a", ";   a := helper", "; PUB second",
                                                         ";   x", "; PRI helper", ";   return 2"}));
  EXPECT_EQ(e.PubCounter, -1);
  EXPECT_EQ(e.PriCounter, -1);
}

TEST_F(SourceTest, KeywordsTabsAndHiddenLines) {
  const std::string source =
      "PUB\tnot_a_block\nPUB first\n\tx := 1\n{ ENd marker }\n{ en anything }\nPUB\nPUB second\n  y\n";
  EXPECT_EQ(Insert(source, 2),
            (std::vector<std::string>{"; PUB first", ";  x := 1", "; PUB second", ";   y"}));
}

TEST_F(SourceTest, HeaderLineIsCopiedAsReadBodyLinesArePrintable) {
  const std::string source = "PUB go\t| t   \n  a\x01" "b\n";
  const auto shown = Insert(source, 1);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], "; PUB go\t| t");
  EXPECT_EQ(shown[1], ";   a b");
  EXPECT_EQ(PrintableText("a\tb\x7F"), "a b ");
}

TEST_F(SourceTest, WrapperTrailerSwitchesToTheWrappedSource) {
  const std::string wrapped = dir.File("object.spin");
  WriteText(wrapped, "PUB inner\n  z\n");
  const std::string source = "PUB test\n  obj.inner\n  { End of Test Wrapper For Varnel }{ " + wrapped + " }\n";
  EXPECT_EQ(Insert(source, 2), (std::vector<std::string>{"; PUB test", ";   obj.inner", "; PUB inner", ";   z"}));
  EXPECT_EQ(e.SourceReadPath, wrapped);
}

TEST_F(SourceTest, MissingSourceNoticeOnceUntilRearmed) {
  const std::vector<std::uint8_t> image = [] {
    test::ImageSpec spec;
    spec.object = {0, 0, 0, 0, 8, 0, 0, 0, 0x32};
    return test::BuildImage(spec);
  }();
  test::EngineProbe engine(host);
  const std::string path = dir.File("none.binary");
  engine.DisassembleBytes(path, image, false);
  engine.DisassembleBytes(path, image, false);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0], "Cannot find source file\r\n\r\n" + dir.File("none.spin"));
  engine.SourceWarningArmed = true;  // opening the image again
  engine.DisassembleBytes(path, image, false);
  EXPECT_EQ(host.messages.size(), 2u);
  host.options.InhibitWarnings = true;
  engine.SourceWarningArmed = true;
  engine.DisassembleBytes(path, image, false);
  EXPECT_EQ(host.messages.size(), 2u);
}

TEST_F(SourceTest, SourceGoneWhileListingIsSkippedWithOneWarning) {
  e.SourceReadPath = dir.File("gone.spin");
  e.PubCounter = 0;
  e.InsertMethodSource(0x100);
  e.InsertMethodSource(0x101);
  EXPECT_EQ(e.Warnings.size(), 1u);
  EXPECT_TRUE(e.Listing.empty());
}

TEST(SourcePaths, SourceSitsBesideTheImage) {
  EXPECT_EQ(SourcePathFor("tests/data/led_chaser.eeprom"), "tests/data/led_chaser.spin");
  EXPECT_EQ(SourcePathFor("prog.binary"), "prog.spin");
  EXPECT_EQ(SourcePathFor("/prog.binary"), "/prog.spin");
  EXPECT_EQ(BaseNameOf("a/b.c/d"), "d");
  EXPECT_EQ(FolderOf("name"), "");
}

}  // namespace
}  // namespace brevin
