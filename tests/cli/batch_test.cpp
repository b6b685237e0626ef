// brevin-cli --out-dir: every image as a single run writes it, past broken
// images, with numbered names for duplicate file names and a checked folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "batch.h"
#include "cli.h"
#include "cli_run.h"
#include "test_support.h"

namespace brevin {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

using test::CliRun;
using test::RunCli;

std::string Sample(const std::string& name) { return std::string(BREVIN_TEST_DATA) + "/" + name; }

std::size_t FilesIn(const std::string& dir) {
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir)) ++files;
  return files;
}

TEST(Batch, EachListingEqualsASingleRunAtAnyThreadCount) {
  TempDir dir;
  const std::vector<std::string> images = {Sample("led_chaser.eeprom"), Sample("crc_calc.binary"),
                                           Sample("pasm_math.eeprom"), Sample("fifo_demo.binary"),
                                           Sample("adc_scope.eeprom")};
  for (const std::string jobs : {"1", "3"}) {
    const std::string outDir = dir.File("out" + jobs);
    fs::create_directory(outDir);
    std::vector<std::string> args = {"--fold-indexes", "--out-dir", outDir, "--jobs", jobs};
    args.insert(args.end(), images.begin(), images.end());
    const CliRun batch = RunCli(args);
    EXPECT_EQ(batch.status, cli::kExitOk) << batch.err;
    EXPECT_NE(batch.err.find("5 listed, 0 refused, 0 unreadable\n"), std::string::npos) << batch.err;
    EXPECT_EQ(FilesIn(outDir), images.size());
    for (const std::string& image : images) {
      const std::string single = dir.File("single.lst");
      ASSERT_EQ(RunCli({"--fold-indexes", "-o", single, image}).status, cli::kExitOk);
      EXPECT_EQ(test::ReadText(outDir + "/" + fs::path(image).filename().string() + ".lst"), test::ReadText(single))
          << image << " with --jobs " << jobs;
    }
  }
}

TEST(Batch, BrokenAndMissingImagesDoNotStopTheOthers) {
  TempDir dir;
  const std::string outDir = dir.File("out");
  fs::create_directory(outDir);
  test::WriteBytes(dir.File("broken.eeprom"), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
  const CliRun r = RunCli({"--no-include-source", "--out-dir", outDir, "--jobs", "2", dir.File("broken.eeprom"),
                           Sample("led_chaser.binary"), dir.File("missing.binary"), Sample("crc_calc.eeprom")});
  EXPECT_EQ(r.status, cli::kExitFileError) << "the highest status of a single run";
  EXPECT_TRUE(fs::exists(outDir + "/led_chaser.binary.lst"));
  EXPECT_TRUE(fs::exists(outDir + "/crc_calc.eeprom.lst"));
  EXPECT_EQ(FilesIn(outDir), 2u) << "nothing for the broken and missing images, no temporary files";
  EXPECT_NE(r.err.find("2 listed, 1 refused, 1 unreadable\n"), std::string::npos) << r.err;
  // Messages come in input order and name their image.
  const std::size_t broken = r.err.find(dir.File("broken.eeprom") + ": The file checksum is not as expected.");
  const std::size_t missing = r.err.find(dir.File("missing.binary") + ":");
  EXPECT_NE(broken, std::string::npos) << r.err;
  EXPECT_NE(missing, std::string::npos) << r.err;
  EXPECT_LT(broken, missing);

  // Only refusals: the status is that of a refused single run.
  EXPECT_EQ(RunCli({"--out-dir", outDir, dir.File("broken.eeprom")}).status, cli::kExitRefused);
}

TEST(Batch, DuplicateFileNamesGetNumberedNamesAndNothingIsOverwritten) {
  TempDir dir;
  const std::string outDir = dir.File("out");
  fs::create_directories(outDir);
  fs::create_directories(dir.File("a"));
  fs::create_directories(dir.File("b"));
  fs::copy_file(Sample("led_chaser.eeprom"), dir.File("a/demo.eeprom"));
  fs::copy_file(Sample("crc_calc.eeprom"), dir.File("b/demo.eeprom"));
  const CliRun r = RunCli({"--no-include-source", "--out-dir", outDir, dir.File("a/demo.eeprom"),
                           dir.File("b/demo.eeprom"), dir.File("a/demo.eeprom")});
  EXPECT_EQ(r.status, cli::kExitOk) << r.err;
  EXPECT_NE(test::ReadText(outDir + "/demo.eeprom.lst").find(dir.File("a/demo.eeprom")), std::string::npos);
  EXPECT_NE(test::ReadText(outDir + "/demo.eeprom.2.lst").find(dir.File("b/demo.eeprom")), std::string::npos);
  EXPECT_TRUE(fs::exists(outDir + "/demo.eeprom.3.lst"));
  EXPECT_NE(r.err.find("brevin-cli: " + dir.File("b/demo.eeprom") + ": note: written as demo.eeprom.2.lst"),
            std::string::npos)
      << r.err;

  // A numbered name never takes the name another input needs.
  EXPECT_EQ(cli::PlanOutputNames({"x/d.eeprom", "y/d.eeprom", "z/d.eeprom.2", "/"}, ".lst"),
            (std::vector<std::string>{"d.eeprom.lst", "d.eeprom.2.lst", "d.eeprom.2.2.lst", "image.lst"}));
}

TEST(Batch, NoOutputReplacesAnInputAndWarningsNameTheirImageOnce) {
  TempDir dir;
  // The second image is named as the first one's listing would be.
  fs::copy_file(Sample("led_chaser.eeprom"), dir.File("demo.eeprom"));
  fs::copy_file(Sample("crc_calc.eeprom"), dir.File("demo.eeprom.lst"));
  const CliRun r = RunCli({"--jobs=1", "--out-dir", dir.path(), dir.File("demo.eeprom"), dir.File("demo.eeprom.lst")});
  EXPECT_EQ(r.status, cli::kExitFileError);
  EXPECT_NE(r.err.find("brevin-cli: " + dir.File("demo.eeprom.lst") + ": the output would overwrite the image\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(test::ReadText(dir.File("demo.eeprom.lst")), test::ReadText(Sample("crc_calc.eeprom")));
  EXPECT_NE(r.err.find("brevin-cli: " + dir.File("demo.eeprom") +
                       ": warning: Cannot find source file " + dir.File("demo.spin") + "; listing without source lines\n"),
            std::string::npos)
      << "each image of a batch gets the notice a single run gives: " << r.err;
  EXPECT_NE(r.err.find("brevin-cli: " + dir.File("demo.eeprom.lst") + ": warning: Cannot find source file"),
            std::string::npos)
      << r.err;
}

// Two images named with a line feed: every message is one line naming its
// image as the shell quotes it (the batch decides by that name whether a line
// still needs it in front).
TEST(Batch, ALineFeedInAnImageNameKeepsEveryMessageOneLine) {
  TempDir dir;
  fs::create_directory(dir.File("a\nb"));
  fs::copy_file(Sample("led_chaser.eeprom"), dir.File("a\nb/x\ny.eeprom"));
  fs::create_directory(dir.File("out"));
  const std::string image = dir.File("a\nb/x\ny.eeprom");
  const CliRun r = RunCli({"--jobs=1", "--out-dir", dir.File("out"), image, image});
  EXPECT_EQ(r.status, cli::kExitOk) << r.err;
  const std::string shown = "'" + dir.path() + "/a'$'\\n''b/x'$'\\n''y.eeprom'";
  const std::string lines[] = {
      "brevin-cli: " + shown + ": warning: Cannot find source file '" + dir.path() +
          "/a'$'\\n''b/x'$'\\n''y.spin'; listing without source lines",
      "brevin-cli: " + shown + ": 1 of 8 methods is not called from the program; --trace-all-methods decodes them",
      "brevin-cli: " + shown + ": note: written as 'x'$'\\n''y.eeprom.2.lst' ('x'$'\\n''y.eeprom.lst' holds an "
          "earlier image of the same name)",
  };
  EXPECT_EQ(r.err, lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n" + lines[0] + "\n" + lines[1] +
                       "\n2 listed, 0 refused, 0 unreadable\n");
  EXPECT_TRUE(fs::exists(dir.File("out/x\ny.eeprom.2.lst")));
}

TEST(Batch, BadOutputFolderAndUsageAreRefusedBeforeAnyWork) {
  TempDir dir;
  const std::string image = Sample("led_chaser.eeprom");
  test::WriteBytes(dir.File("file"), {1});
  for (const std::string& bad : {dir.File("file"), dir.File("missing")}) {
    const CliRun r = RunCli({"--out-dir", bad, image});
    EXPECT_EQ(r.status, cli::kExitFileError) << bad;
    EXPECT_EQ(r.err.rfind("brevin-cli: " + bad + ": ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find("listed"), std::string::npos) << "no image was analysed";
  }
  if (geteuid() != 0) {  // root writes into any folder
    fs::create_directory(dir.File("locked"));
    fs::permissions(dir.File("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(RunCli({"--out-dir", dir.File("locked"), image}).status, cli::kExitFileError);
  }
  EXPECT_EQ(RunCli({"--out-dir", dir.path()}).status, cli::kExitUsage);
  EXPECT_EQ(RunCli({"--out-dir", dir.path(), "-o", dir.File("x"), image}).status, cli::kExitUsage);
  EXPECT_EQ(RunCli({"--out-dir", dir.path(), "--jobs", "0", image}).status, cli::kExitUsage);
  EXPECT_EQ(RunCli({"--out-dir", dir.path(), "--debug-spin", image}).status, cli::kExitUsage);
  EXPECT_EQ(RunCli({"--jobs", "2", image}).status, cli::kExitUsage);
  EXPECT_EQ(FilesIn(dir.path()), 1u);
}

TEST(Batch, ARendererThatThrowsCountsAsRefusedAndTheRestGoOn) {
  TempDir dir;
  cli::BatchOptions options;
  options.outDir = dir.path();
  options.jobs = 2;
  cli::StringSink err;
  const int status = cli::RunBatch({"one", "two", "three"}, options,
                                   [] {
                                     return [](const std::string& image) -> cli::RenderedImage {
                                       if (image == "two") throw std::runtime_error("out of memory");
                                       return {cli::kExitOk, image + "\r\n", {}};
                                     };
                                   },
                                   err);
  EXPECT_EQ(status, cli::kExitRefused);
  EXPECT_EQ(test::ReadText(dir.File("three.lst")), "three\r\n");
  EXPECT_NE(err.Text().find("two: cannot be analysed (out of memory)"), std::string::npos) << err.Text();
  EXPECT_NE(err.Text().find("2 listed, 1 refused, 0 unreadable"), std::string::npos);
}

}  // namespace
}  // namespace brevin
