// brevin-cli --spin-source: the files written, the summary, the statuses and
// the refusal of a bad folder before any work.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli.h"
#include "cli_run.h"
#include "test_support.h"

namespace brevin {
namespace {

namespace fs = std::filesystem;
using test::CliRun;
using test::RunCli;
using test::TempDir;

std::string Data(const std::string& name) { return std::string(BREVIN_TEST_DATA) + "/" + name; }

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SpinSource, WritesTheTopObjectWithTheSourcesNamesAndSaysSoInOneLine) {
  TempDir dir;
  fs::copy_file(Data("led_chaser.binary"), dir.File("led_chaser.binary"));
  fs::copy_file(Data("led_chaser.spin"), dir.File("led_chaser.spin"));
  fs::create_directory(dir.File("out"));
  const CliRun r = RunCli({"--spin-source", dir.File("out"), dir.File("led_chaser.binary")});
  EXPECT_EQ(r.status, cli::kExitOk) << r.err;
  EXPECT_TRUE(r.out.empty());
  EXPECT_EQ(r.err, "brevin-cli: 1 object, 8 methods, 8 reconstructed exactly; wrote " + dir.File("out") +
                       "/led_chaser.spin\n");
  const std::string text = ReadText(dir.File("out/led_chaser.spin"));
  EXPECT_EQ(text.rfind("' Recovered from led_chaser.binary: 436 bytes, checksum $1A\n", 0), 0u) << text;
  EXPECT_NE(text.find("  _clkmode = xtal1 + pll16x\n  _xinfreq = 5_000_000\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nPUB heartbeat(pin, period_ms) | t\n"), std::string::npos) << text;
  // Only the written file: no temporary file is left.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.File("out")), fs::directory_iterator()), 1);
}

TEST(SpinSource, WritesEachDistinctChildObjectOnceAndReplacesOldFilesWithForce) {
  TempDir dir;
  std::ofstream(dir.File("serial_terminal.spin")) << "old text\n";
  const CliRun r = RunCli({"--force", "--spin-source", dir.path(), Data("serial_terminal.eeprom")});
  EXPECT_EQ(r.status, cli::kExitOk) << r.err;
  // The child files take the names the source's OBJ block gives them.
  for (const char* name : {"serial_terminal.spin", "uart_pasm.spin", "numtext.spin", "strtools.spin"}) {
    EXPECT_TRUE(fs::exists(dir.File(name))) << name;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 4);
  // The object names of the source beside the image.
  EXPECT_NE(ReadText(dir.File("serial_terminal.spin"))
                .find("OBJ\n  ser : \"uart_pasm\"\n  fmt : \"numtext\"\n"),
            std::string::npos);
  EXPECT_NE(r.err.find("4 objects, 36 methods, 36 reconstructed exactly"), std::string::npos) << r.err;
  // The child objects' sources beside it (as its OBJ block names them) lend their names.
  EXPECT_NE(ReadText(dir.File("serial_terminal.spin")).find("    ser.str(@"), std::string::npos);
  EXPECT_NE(ReadText(dir.File("uart_pasm.spin")).find("\nPUB start(rxpin, txpin, baud) : okay\n"),
            std::string::npos)
      << ReadText(dir.File("uart_pasm.spin"));
}

TEST(SpinSource, AMissingOrUnwritableFolderIsAFileErrorBeforeAnyWork) {
  TempDir dir;
  CliRun r = RunCli({"--spin-source", dir.File("missing"), dir.File("no-image.binary")});
  EXPECT_EQ(r.status, cli::kExitFileError);
  EXPECT_EQ(r.err, "brevin-cli: " + dir.File("missing") + ": no such folder\n");
  std::ofstream(dir.File("plain")) << "x";
  r = RunCli({"--spin-source", dir.File("plain"), Data("led_chaser.binary")});
  EXPECT_EQ(r.status, cli::kExitFileError);
  EXPECT_NE(r.err.find("is not a folder"), std::string::npos) << r.err;
  EXPECT_EQ(RunCli({"--spin-source", dir.path(), "-o", dir.File("x"), Data("led_chaser.binary")}).status,
            cli::kExitUsage);
  EXPECT_EQ(RunCli({"--spin-source", dir.path()}).status, cli::kExitUsage);
  EXPECT_EQ(RunCli({"--spin-source", dir.path(), "--out-dir", dir.path(), Data("led_chaser.binary")}).status,
            cli::kExitUsage);
  EXPECT_EQ(RunCli({"--spin-source", dir.path(), "--json", Data("led_chaser.binary")}).status, cli::kExitUsage);
}

TEST(SpinSource, TheSourceBesideTheImageIsNeverReplaced) {
  TempDir dir;
  fs::copy_file(Data("led_chaser.binary"), dir.File("led_chaser.binary"));
  fs::copy_file(Data("led_chaser.spin"), dir.File("led_chaser.spin"));
  const std::string original = ReadText(dir.File("led_chaser.spin"));
  const CliRun r = RunCli({"--spin-source", dir.path(), dir.File("led_chaser.binary")});
  EXPECT_EQ(r.status, cli::kExitFileError);
  EXPECT_EQ(r.err, "brevin-cli: " + dir.File("led_chaser.spin") +
                       ": the output would overwrite the Spin source beside the image\n");
  EXPECT_EQ(ReadText(dir.File("led_chaser.spin")), original);
}

TEST(SpinSource, ARefusedImageWritesNothing) {
  TempDir dir;
  std::vector<std::uint8_t> image = ReadBytes(Data("led_chaser.binary"));
  image[12] = 0x00;
  image[13] = 0x80;  // the first method past the image
  test::WriteBytes(dir.File("bad.binary"), image);
  fs::create_directory(dir.File("out"));
  const CliRun r = RunCli({"--spin-source", dir.File("out"), dir.File("bad.binary")});
  EXPECT_EQ(r.status, cli::kExitRefused);
  EXPECT_TRUE(fs::is_empty(dir.File("out")));
}

TEST(SpinSource, AMethodThatIsNotCompiledCodeIsMarkedAndTheStatusIsFive) {
  TempDir dir;
  std::vector<std::uint8_t> image = ReadBytes(Data("led_chaser.binary"));
  // pause: waitcnt(clkfreq / 1000 * ms + cnt), its DIV made an ABS.
  ASSERT_EQ(image[0x1A5 + 5], 0xF6);
  image[0x1A5 + 5] = 0xE9;
  image[5] = static_cast<std::uint8_t>(image[5] + 0xF6 - 0xE9);  // the checksum mended
  test::WriteBytes(dir.File("patched.binary"), image);
  const CliRun r = RunCli({"--ignore-checksum", "--spin-source", dir.path(), dir.File("patched.binary")});
  EXPECT_EQ(r.status, cli::kExitInexact);
  EXPECT_NE(r.err.find("patched.spin: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("8 methods, 7 reconstructed exactly"), std::string::npos) << r.err;
  const std::string text = ReadText(dir.File("patched.spin"));
  EXPECT_NE(text.find("' Not the same bytes: "), std::string::npos) << text;

  // A wrong checksum alone: the methods are right, the image is not the compiler's.
  image = ReadBytes(Data("led_chaser.binary"));
  image[5] ^= 1;
  test::WriteBytes(dir.File("sum.binary"), image);
  const CliRun sum = RunCli({"--ignore-checksum", "--spin-source", dir.path(), dir.File("sum.binary")});
  EXPECT_EQ(sum.status, cli::kExitInexact);
  EXPECT_NE(sum.err.find(": the checksum is not the compiler's\n"), std::string::npos) << sum.err;

  // An .eeprom with a byte set past the program and its stack frame.
  image = ReadBytes(Data("led_chaser.eeprom"));
  image[0x7FFF] = 1;
  test::WriteBytes(dir.File("tail.eeprom"), image);
  const CliRun tail = RunCli({"--ignore-checksum", "--spin-source", dir.path(), dir.File("tail.eeprom")});
  EXPECT_EQ(tail.status, cli::kExitInexact);
  EXPECT_NE(tail.err.find(": the bytes after the program are not the compiler's\n"), std::string::npos) << tail.err;
}

// The shared Spin compiler, built into the build tree the first time; empty
// when ../shared is absent or the build failed.
std::string SpinCompiler() {
  if (!fs::is_directory(std::string(BREVIN_SHARED_DIR) + "/tools")) return {};
  const std::string dest = std::string(BREVIN_CLI_WORK) + "/spin-compiler";
  const std::string command = "'" + std::string(BREVIN_SHARED_DIR) + "/tools/build-spin-compiler' '" + dest + "' > /dev/null";
  if (!fs::exists(dest + "/openspin") && std::system(command.c_str()) != 0) return {};
  return dest + "/openspin";
}

// A line feed in the image's name: the messages stay one line each, and the
// top file takes a name without it, whose first comment the compiler reads.
TEST(SpinSource, AControlCharacterInTheImageNameLeavesTheTopFileCompilable) {
  TempDir dir;
  fs::copy_file(Data("led_chaser.binary"), dir.File("led\nchaser.binary"));
  fs::create_directory(dir.File("out"));
  const CliRun r = RunCli({"--spin-source", dir.File("out"), dir.File("led\nchaser.binary")});
  EXPECT_EQ(r.status, cli::kExitOk) << r.err;
  EXPECT_EQ(r.err, "brevin-cli: 1 object, 8 methods, 8 reconstructed exactly; wrote " + dir.File("out") +
                       "/led_chaser.spin\n");
  const std::string text = ReadText(dir.File("out/led_chaser.spin"));
  EXPECT_EQ(text.rfind("' Recovered from led_chaser.binary: 436 bytes, checksum $1A\n", 0), 0u) << text;

  const std::string compiler = SpinCompiler();
  if (compiler.empty()) GTEST_SKIP() << "no Spin compiler: ../shared is absent";
  const std::string command = "cd '" + dir.File("out") + "' && '" + compiler +
                              "' -q -b -o compiled.binary led_chaser.spin > compiler.log 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << ReadText(dir.File("out/compiler.log"));
  EXPECT_EQ(ReadBytes(dir.File("out/compiled.binary")), ReadBytes(Data("led_chaser.binary")));
}

}  // namespace
}  // namespace brevin
