// brevin-cli: exit statuses, error messages, atomic output, reports.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli.h"
#include "cli_run.h"
#include "messages.h"
#include "test_support.h"

namespace brevin {
namespace {

using test::BuildImage;
using test::ImageSpec;
using test::TempDir;

using test::CliRun;
using test::RunCli;

std::vector<std::uint8_t> GoodImage() {
  ImageSpec spec;
  spec.object = {0, 0, 0, 0, 8, 0, 0, 0, 0x32};
  spec.varBytes = 4;
  return BuildImage(spec);
}

TEST(Cli, AFullStandardOutputIsAFileErrorWithAMessage) {
  TempDir dir;
  test::WriteBytes(dir.File("good.binary"), GoodImage());
  std::FILE* full = std::fopen("/dev/full", "w");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full here";
  cli::FileSink out(full);
  cli::StringSink err;
  EXPECT_EQ(cli::Run({"--inhibit-warnings", dir.File("good.binary")}, out, err), cli::kExitFileError);
  std::fclose(full);
  EXPECT_EQ(err.Text(), "brevin-cli: standard output: cannot be written: No space left on device\n");
}

// A name is shown as it is unless it holds a control character; then it is
// quoted as the shell quotes it, and pasting it back gives the same name.
TEST(Cli, NamesWithControlCharactersAreQuotedForTheShell) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain name.binary", "plain name.binary"},
      {"it's.binary", "it's.binary"},
      {"a\nb.binary", "'a'$'\\n''b.binary'"},
      {"\n", "$'\\n'"},
      {"it's\n", "'it'\\''s'$'\\n'"},
      {"\x1b[31mred\t\r\x7f", "$'\\033''[31mred'$'\\t\\r\\177'"},
  };
  for (const auto& [name, shown] : cases) EXPECT_EQ(cli::QuotedName(name), shown) << name;
  EXPECT_EQ(cli::WithQuotedName("x\ny: no such file (x\ny)", "x\ny"), "'x'$'\\n''y': no such file ('x'$'\\n''y')");
  EXPECT_EQ(cli::MessageLine("a\nb", "Cannot find source file\r\n\r\nc\nd.spin", MessageButtons::Ok,
                             MessageIcon::Information),
            "'a'$'\\n''b': warning: Cannot find source file 'c'$'\\n''d.spin'; listing without source lines");
}

TEST(Cli, UnreadableInputsNameTheFileAndLeaveNoOutput) {
  TempDir dir;
  const std::string out = dir.File("out.lst");
  test::WriteBytes(dir.File("empty.binary"), {});
  for (const std::string& input : {dir.File("missing.binary"), dir.path(), dir.File("empty.binary")}) {
    const CliRun r = RunCli({"-o", out, input});
    EXPECT_EQ(r.status, cli::kExitFileError) << input;
    EXPECT_NE(r.err.find(input + ":"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(std::filesystem::exists(out));
  }
}

TEST(Cli, UnreadablePermissionsAreAFileError) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
  TempDir dir;
  const std::string input = dir.File("locked.binary");
  test::WriteBytes(input, GoodImage());
  std::filesystem::permissions(input, std::filesystem::perms::none);
  const CliRun r = RunCli({input});
  EXPECT_EQ(r.status, cli::kExitFileError);
  EXPECT_NE(r.err.find(input), std::string::npos);
}

TEST(Cli, BadHeaderAndDeclinedChecksumAreRefused) {
  TempDir dir;
  auto image = GoodImage();
  image[12] = 0x00;
  image[13] = 0x80;  // PINIT = $8000
  test::WriteBytes(dir.File("bad.binary"), image);
  CliRun r = RunCli({dir.File("bad.binary")});
  EXPECT_EQ(r.status, cli::kExitRefused);
  EXPECT_NE(r.err.find("PINIT = $8000"), std::string::npos) << r.err;
  EXPECT_TRUE(r.out.empty());

  image = GoodImage();
  image[0x18] ^= 0xFF;
  test::WriteBytes(dir.File("sum.binary"), image);
  r = RunCli({dir.File("sum.binary")});
  EXPECT_EQ(r.status, cli::kExitRefused);
  EXPECT_NE(r.err.find("The file checksum is not as expected."), std::string::npos);
  EXPECT_TRUE(r.out.empty());
  EXPECT_EQ(RunCli({"--ignore-checksum", dir.File("sum.binary")}).status, cli::kExitOk);
  r = RunCli({"--inhibit-warnings", dir.File("sum.binary")});
  EXPECT_EQ(r.status, cli::kExitOk);
  EXPECT_TRUE(r.err.empty());
}

// The refusal names the checksum byte that would make the image check out:
// written there, the image is listed without --ignore-checksum.
TEST(Cli, TheChecksumRefusalNamesTheByteThatMendsTheImage) {
  TempDir dir;
  for (const std::string name : {"led_chaser.eeprom", "led_chaser.binary", "pasm_math.binary"}) {
    std::ifstream in(std::string(BREVIN_TEST_DATA) + "/" + name, std::ios::binary);
    std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    image[0x20] += 0x11;
    const std::string path = dir.File(name);
    test::WriteBytes(path, image);
    const CliRun refused = RunCli({"--no-include-source", path});
    ASSERT_EQ(refused.status, cli::kExitRefused) << name;
    const std::string start = "brevin-cli: " + path + ": The file checksum is not as expected. (found $";
    ASSERT_EQ(refused.err.rfind(start, 0), 0u) << refused.err;
    const std::string figures = refused.err.substr(start.size());
    EXPECT_EQ(std::stoi(figures.substr(0, 2), nullptr, 16), image[5]) << refused.err;
    ASSERT_EQ(figures.substr(2, 12), ", expected $") << refused.err;
    image[5] = static_cast<std::uint8_t>(std::stoi(figures.substr(14, 2), nullptr, 16));
    EXPECT_EQ(figures.substr(16), "; --ignore-checksum lists it anyway)\n");
    test::WriteBytes(path, image);
    EXPECT_EQ(RunCli({"--no-include-source", path}).status, cli::kExitOk) << name << ": " << refused.err;
  }
}

TEST(Cli, OutputFileHoldsExactlyTheListingAndFailuresKeepTheOldFile) {
  TempDir dir;
  const std::string image = dir.File("p.binary");
  test::WriteBytes(image, GoodImage());
  const std::string out = dir.File("p.lst");
  const CliRun toStdout = RunCli({image});
  ASSERT_EQ(toStdout.status, cli::kExitOk);
  ASSERT_EQ(RunCli({"-o", out, image}).status, cli::kExitOk);
  EXPECT_EQ(test::ReadText(out), toStdout.out);
  EXPECT_NE(toStdout.out.find("Disassembly of " + image + "\r\n"), std::string::npos);

  // A file whose name is not ASCII: one "=" per character of the title.
  const std::string accented = dir.File("m\xC3\xBCsli.binary");
  test::WriteBytes(accented, GoodImage());
  const CliRun named = RunCli({accented});
  ASSERT_EQ(named.status, cli::kExitOk) << named.err;
  const std::string title = "Disassembly of " + accented;
  EXPECT_NE(named.out.find(title + "\r\n" + std::string(title.size() - 1, '=') + "\r\n"), std::string::npos);
  std::filesystem::remove(accented);

  // A failed run leaves the earlier listing untouched and no temporary file.
  EXPECT_EQ(RunCli({"-o", out, dir.File("none.binary")}).status, cli::kExitFileError);
  EXPECT_EQ(test::ReadText(out), toStdout.out);
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 2u);

  EXPECT_EQ(RunCli({"-o", dir.File("no/such/folder/x.lst"), image}).status, cli::kExitFileError);
}

TEST(Cli, OverlongFilesAreReadOnlyAsFarAsAnImageGoesAndDevicesAreRefused) {
  TempDir dir;
  auto image = GoodImage();
  image.resize(40000, 0);
  test::WriteBytes(dir.File("long.binary"), image);
  CliRun r = RunCli({"--no-include-source", dir.File("long.binary")});
  EXPECT_EQ(r.status, cli::kExitOk);
  EXPECT_NE(r.err.find("holds 40000 bytes"), std::string::npos) << r.err;
  // A device is refused before it is opened (opening a serial port acts on
  // it); an endless standard input is read one byte past an image (command_lines.txt).
  r = RunCli({"--inhibit-warnings", "/dev/zero"});
  EXPECT_EQ(r.status, cli::kExitFileError);
  EXPECT_EQ(r.err, "brevin-cli: /dev/zero: is a device, not an image file\n");
}

TEST(Cli, UsageErrorsHelpAndVersion) {
  EXPECT_EQ(RunCli({}).status, cli::kExitUsage);
  EXPECT_EQ(RunCli({"--fold-everything", "x.binary"}).status, cli::kExitUsage);
  EXPECT_EQ(RunCli({"a.binary", "b.binary"}).status, cli::kExitUsage);
  EXPECT_EQ(RunCli({"-o"}).status, cli::kExitUsage);
  EXPECT_EQ(RunCli({"--spin-opcodes", "x.binary"}).status, cli::kExitUsage);
  const CliRun help = RunCli({"--help"});
  EXPECT_EQ(help.status, cli::kExitOk);
  EXPECT_NE(help.out.find("--no-NAME"), std::string::npos);
  const CliRun version = RunCli({"--version"});
  EXPECT_EQ(version.status, cli::kExitOk);
  EXPECT_NE(version.out.find("Version 1.03 #0101"), std::string::npos);
}

TEST(Cli, OptionsReachTheListing) {
  TempDir dir;
  const std::string image = dir.File("p.binary");
  test::WriteBytes(image, GoodImage());
  const CliRun bare = RunCli({"--no-show-image", image});
  ASSERT_EQ(bare.status, cli::kExitOk);
  EXPECT_EQ(bare.out.find("Disassembly of"), std::string::npos);
  EXPECT_NE(bare.out.find("      END\r\n"), std::string::npos);
  const CliRun plain = RunCli({"--no-show-labels", image});
  EXPECT_NE(plain.out.find("LINK     $0018"), std::string::npos);
}

// Methods that no call reaches: one line says how many (not with
// --inhibit-warnings, not once they are traced), and the option lists them.
TEST(Cli, UntracedMethodsAreCountedOnceAndDecodedWithTheOption) {
  const std::string image = std::string(BREVIN_TEST_DATA) + "/adc_scope.binary";
  const std::string line = "brevin-cli: " + image +
                           ": 6 of 23 methods are not called from the program; --trace-all-methods decodes them\n";
  const CliRun plain = RunCli({"--no-include-source", image});
  ASSERT_EQ(plain.status, cli::kExitOk);
  EXPECT_EQ(plain.err, line);
  EXPECT_NE(plain.out.find("; ----   FRAME    CALL WITH RETURN VALUE"), std::string::npos);
  EXPECT_EQ(RunCli({"--no-include-source", "--inhibit-warnings", image}).err, "");
  const CliRun all = RunCli({"--no-include-source", "--trace-all-methods", image});
  ASSERT_EQ(all.status, cli::kExitOk);
  EXPECT_EQ(all.err, "");
  EXPECT_NE(all.out.find("0389         00 64 05 03     S65      CALLFUN  F64 ( VL23 )"), std::string::npos);
  // The batch names the image on the line as well.
  TempDir dir;
  const CliRun batch = RunCli({"--no-include-source", "--jobs=1", "--out-dir", dir.path(), image});
  EXPECT_NE(batch.err.find(image + ": 6 of 23 methods are not called"), std::string::npos) << batch.err;
}

TEST(Cli, ReferenceReportsAndFlagsReport) {
  const CliRun opcodes = RunCli({"--spin-opcodes"});
  EXPECT_EQ(opcodes.status, cli::kExitOk);
  EXPECT_EQ(opcodes.out.rfind("Spin Opcodes\r\n", 0), 0u);
  EXPECT_EQ(RunCli({"--spin-effects"}).out.rfind("Spin 'Using' Effects\r\n", 0), 0u);
  EXPECT_EQ(RunCli({"--asm-opcodes"}).status, cli::kExitOk);

  TempDir dir;
  const std::string image = dir.File("p.binary");
  test::WriteBytes(image, GoodImage());
  const CliRun flags = RunCli({"--flags-report", image});
  EXPECT_EQ(flags.status, cli::kExitOk);
  EXPECT_EQ(flags.out.rfind("Image Flags\r\n============\r\n\r\n0000  ", 0), 0u);
  EXPECT_NE(flags.out.find("0010  0800080C  Done Link"), std::string::npos);
}

TEST(Cli, DebugChannelGoesToItsFile) {
  TempDir dir;
  const std::string image = dir.File("p.binary");
  test::WriteBytes(image, GoodImage());
  const std::string debug = dir.File("debug.txt");
  ASSERT_EQ(RunCli({"--debug-spin", "--debug-out", debug, image}).status, cli::kExitOk);
  EXPECT_EQ(test::ReadText(debug).rfind("Init 0018\r\n", 0), 0u);
}

}  // namespace
}  // namespace brevin
