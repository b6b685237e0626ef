// Spin source lines beside the methods: matching by position, the section
// rules, the wrapper trailer, and the notices about the source file.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "brevin/engine.h"
#include "brevin/text.h"
#include "support/paths.h"
#include "engine_probe.h"
#include "test_support.h"

namespace brevin {
namespace {

using test::ScriptedHost;
using test::TempDir;

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// An image of `methods` methods beside its Spin source: the first method
// calls all the others, so each of them is traced and listed.
std::vector<std::uint8_t> MethodsImage(int methods) {
  test::ImageSpec spec;
  const int table = 4 * (methods + 1);
  const int first = 3 * (methods - 1) + 1;  // FRAME, CALL k for every other method, RETURN
  spec.object = {0, 0, static_cast<std::uint8_t>(methods + 1), 0};
  for (int k = 0; k < methods; ++k) {
    const int at = table + (k == 0 ? 0 : first + k - 1);
    spec.object.insert(spec.object.end(), {static_cast<std::uint8_t>(at), 0, 0, 0});
  }
  for (int k = 2; k <= methods; ++k) spec.object.insert(spec.object.end(), {0x01, 0x05, static_cast<std::uint8_t>(k)});
  spec.object.insert(spec.object.end(), static_cast<std::size_t>(methods), 0x32);
  return test::BuildImage(spec);
}

class SourceTest : public ::testing::Test {
 protected:
  TempDir dir;
  ScriptedHost host;

  // Lists an image of `methods` methods with the source beside it; returns the
  // source lines shown, from the opcode column on.
  std::vector<std::string> Insert(const std::string& source, int methods) { return Insert(source, MethodsImage(methods)); }
  std::vector<std::string> Insert(const std::string& source, const std::vector<std::uint8_t>& image) {
    WriteText(dir.File("prog.spin"), source);
    host.options.FoldOperators = false;
    Engine e(host);
    const LoadResult r = e.DisassembleBytes(dir.File("prog.binary"), image, false);
    EXPECT_EQ(r.status, LoadStatus::Listed) << r.message;
    std::vector<std::string> shown;
    if (!r.analysis) return shown;
    for (const std::string& line : test::Lines(r.analysis->listing)) {
      if (line.starts_with("==== ") && line.size() > 38) shown.push_back(line.substr(38));
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
  // The top object's one method calls the one method of its sub-object, whose
  // source is the wrapped one.
  test::ImageSpec spec;
  spec.object = {20, 0, 2, 1, 12, 0, 0, 0, 20, 0, 0, 0,  // top: method at +12, sub-object at +20
                 0x01, 0x06, 0x02, 0x01, 0x32, 0, 0, 0,  // FRAME, CALLOBJ 2.1, RETURN
                 12, 0, 2, 0, 8, 0, 0, 0, 0x32, 0, 0, 0};  // the sub-object: one method, RETURN
  spec.setLength = false;
  EXPECT_EQ(Insert(source, test::BuildImage(spec)),
            (std::vector<std::string>{"; PUB test", ";   obj.inner", "; PUB inner", ";   z"}));
}

TEST_F(SourceTest, MissingSourceNoticeOnceUntilRearmed) {
  const std::vector<std::uint8_t> image = [] {
    test::ImageSpec spec;
    spec.object = {0, 0, 0, 0, 8, 0, 0, 0, 0x32};
    return test::BuildImage(spec);
  }();
  Engine engine(host);
  const std::string path = dir.File("none.binary");
  const LoadResult first = engine.DisassembleBytes(path, image, false);
  ASSERT_EQ(first.notices.size(), 1u);
  EXPECT_EQ(first.notices[0].text, "Cannot find source file\r\n\r\n" + dir.File("none.spin"));
  EXPECT_EQ(first.notices[0].icon, MessageIcon::Information);
  EXPECT_TRUE(engine.DisassembleBytes(path, image, false).notices.empty());
  engine.ArmSourceWarning(true);  // opening the image again
  EXPECT_EQ(engine.DisassembleBytes(path, image, false).notices.size(), 1u);
  host.options.InhibitWarnings = true;
  engine.ArmSourceWarning(true);
  EXPECT_TRUE(engine.DisassembleBytes(path, image, false).notices.empty());
  EXPECT_TRUE(host.messages.empty());  // nothing is asked while loading
}

// The source read when the load began is gone when the listing reaches the
// methods: a race no load can set up, so the listing pass is driven directly.
TEST(SourceGone, SourceGoneWhileListingIsSkippedWithOneWarning) {
  TempDir dir;
  ScriptedHost host;
  test::EngineProbe e{host};
  e.Opt = Options{};
  e.Opt.ShowImage = false;
  e.SourceReadPath = dir.File("gone.spin");
  e.PubCounter = 0;
  e.InsertMethodSource(0x100);
  e.InsertMethodSource(0x101);
  EXPECT_EQ(e.Warnings.size(), 1u);
  EXPECT_TRUE(e.Listing.empty());
}

// Every encoding a Spin source comes in, one case a line in the data file.
TEST(SourceText, EncodingsBecomeUtf8) {
  std::ifstream cases(std::string(BREVIN_TEST_DATA) + "/source_text_cases.txt");
  ASSERT_TRUE(cases) << "source_text_cases.txt";
  auto bytes = [](const std::string& hex) {
    std::string out;
    std::istringstream in(hex);
    for (std::string pair; in >> pair;) out.push_back(static_cast<char>(std::stoi(pair, nullptr, 16)));
    return out;
  };
  int count = 0;
  for (std::string line; std::getline(cases, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::string data = line.substr(0, line.find('#'));
    const auto bar = data.find('|');
    ASSERT_NE(bar, std::string::npos) << line;
    EXPECT_EQ(SpinSourceText(bytes(data.substr(0, bar))), bytes(data.substr(bar + 1))) << line;
    ++count;
  }
  EXPECT_GE(count, 15);
}

// The Propeller Tool saves a source holding a "°" as UTF-16 with a mark: its
// method header keeps the character (listing and outline), its body lines show
// it as one blank, whichever encoding the file has.
TEST(SourceText, Utf16AndUtf8SourcesListAsTheirText) {
  const std::string latin1 = "PUB heat(t) ' 25\xB0" "C max\r\n  t := 1 ' 90\xB0 turn\r\nPRI x\r\n";
  const std::string utf8 = "PUB heat(t) ' 25\u00B0C max\r\n  t := 1 ' 90\u00B0 turn\r\nPRI x\r\n";
  std::string le = "\xFF\xFE", be = "\xFE\xFF";
  for (const char c : latin1) {
    le += {c, '\0'};
    be += {'\0', c};
  }
  test::ImageSpec spec;
  spec.object = {0, 0, 2, 0, 8, 0, 0, 0, 0x32};  // one method
  const std::vector<std::uint8_t> image = test::BuildImage(spec);
  TempDir dir;
  for (const std::string& text : {le, be, "\xEF\xBB\xBF" + utf8, utf8, latin1}) {
    WriteText(dir.File("heat.spin"), text);
    ScriptedHost host;
    Engine engine(host);
    const LoadResult r = engine.DisassembleBytes(dir.File("heat.binary"), image, false);
    ASSERT_EQ(r.status, LoadStatus::Listed);
    EXPECT_TRUE(host.messages.empty());
    const auto lines = test::Lines(r.analysis->listing);
    const std::string column = "====" + std::string(34, ' ');  // address column, then the opcode column
    const auto header = std::find(lines.begin(), lines.end(), column + "; PUB heat(t) ' 25\u00B0C max");
    ASSERT_NE(header, lines.end()) << r.analysis->listing;
    ASSERT_NE(header + 1, lines.end());
    EXPECT_EQ(*(header + 1), column + ";   t := 1 ' 90  turn");
    ASSERT_FALSE(r.analysis->objects.empty());
    ASSERT_FALSE(r.analysis->objects[0].methods.empty());
    EXPECT_EQ(r.analysis->objects[0].methods[0].sourceName, "PUB heat");  // the outline's name
  }
  EXPECT_EQ(PrintableText("25\u00B0C \xB0|"), "25 C  |");  // one blank per character, or per stray byte
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
