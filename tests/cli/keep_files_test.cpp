// Files the user did not mean to give up: --spin-source never follows a link in
// its folder, never replaces a file unasked (--force), writes all its files or
// none; the folder probe leaves links alone; -o never replaces the image's
// source, nor an image or source file unless --force.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

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
void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A folder "out" to export into and a folder "outside" beside it holding victim.txt.
struct Folders {
  TempDir dir;
  std::string out = dir.File("out");
  std::string victim = dir.File("outside/victim.txt");
  Folders() {
    fs::create_directory(out);
    fs::create_directory(dir.File("outside"));
    WriteText(victim, "the user's own text\n");
  }
};

TEST(KeepFiles, ALinkOfAnOutputsNameIsRefusedAndNeverFollowed) {
  for (const bool force : {false, true}) {
    for (const char* target : {"../outside/victim.txt", "../outside/new.txt"}) {  // a link to a file, a dangling one
      Folders f;
      fs::create_symlink(target, f.out + "/led_chaser.spin");
      std::vector<std::string> args = {"--spin-source", f.out, Data("led_chaser.binary")};
      if (force) args.insert(args.begin(), "--force");
      const CliRun r = RunCli(args);
      EXPECT_EQ(r.status, cli::kExitFileError) << target;
      EXPECT_EQ(r.err, "brevin-cli: " + f.out + "/led_chaser.spin: is a symbolic link; it is not followed\n");
      EXPECT_EQ(test::ReadText(f.victim), "the user's own text\n");
      EXPECT_FALSE(fs::exists(f.dir.File("outside/new.txt"))) << "a dangling link made its target";
      EXPECT_TRUE(fs::is_symlink(f.out + "/led_chaser.spin"));
      EXPECT_EQ(Entries(f.out), std::vector<std::string>{"led_chaser.spin"});
    }
  }
}

TEST(KeepFiles, AFifoOfAnOutputsNameIsRefusedWithoutBlocking) {
  Folders f;
  ASSERT_EQ(::mkfifo((f.out + "/led_chaser.spin").c_str(), 0644), 0);
  const CliRun r = RunCli({"--force", "--spin-source", f.out, Data("led_chaser.binary")});
  EXPECT_EQ(r.status, cli::kExitFileError);
  EXPECT_EQ(r.err, "brevin-cli: " + f.out + "/led_chaser.spin: is not a regular file\n");
}

TEST(KeepFiles, TheFolderProbeLeavesALinkOfItsNameAlone) {
  for (const char* option : {"--spin-source", "--out-dir"}) {
    Folders f;
    fs::create_symlink("../outside/probe-target", f.out + "/.brevin-probe-0.tmp");
    const CliRun r = RunCli({option, f.out, Data("led_chaser.binary")});
    EXPECT_EQ(r.status, cli::kExitOk) << option << ": " << r.err;
    EXPECT_TRUE(fs::is_symlink(f.out + "/.brevin-probe-0.tmp")) << option << ": the user's link was removed";
    EXPECT_FALSE(fs::exists(f.dir.File("outside/probe-target"))) << option << ": the probe followed the link";
  }
}

TEST(KeepFiles, AnExistingFileIsReplacedOnlyWithForce) {
  TempDir dir;
  WriteText(dir.File("serial_terminal.spin"), "the user's copy\n");
  WriteText(dir.File("numtext.spin"), "the user's library\n");
  const CliRun refused = RunCli({"--spin-source", dir.path(), Data("serial_terminal.eeprom")});
  EXPECT_EQ(refused.status, cli::kExitFileError);
  // One line naming every file that would be replaced, in the order written.
  EXPECT_EQ(refused.err, "brevin-cli: " + dir.File("serial_terminal.spin") + ", " + dir.File("numtext.spin") +
                             ": already exist; --force replaces them\n");
  EXPECT_EQ(test::ReadText(dir.File("numtext.spin")), "the user's library\n");
  EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"numtext.spin", "serial_terminal.spin"}));

  ASSERT_EQ(::chmod(dir.File("numtext.spin").c_str(), 0640), 0);
  const CliRun forced = RunCli({"--force", "--spin-source", dir.path(), Data("serial_terminal.eeprom")});
  EXPECT_EQ(forced.status, cli::kExitOk) << forced.err;
  EXPECT_NE(test::ReadText(dir.File("numtext.spin")), "the user's library\n");
  struct stat st {};
  ASSERT_EQ(::stat(dir.File("numtext.spin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u) << "a replaced file keeps its mode";
  EXPECT_EQ(Entries(dir.path()).size(), 4u) << "no temporary or backup file left";

  // One file: the singular.
  fs::create_directory(dir.File("one"));
  WriteText(dir.File("one/led_chaser.spin"), "x");
  EXPECT_EQ(RunCli({"--spin-source", dir.File("one"), Data("led_chaser.binary")}).err,
            "brevin-cli: " + dir.File("one/led_chaser.spin") + ": already exists; --force replaces it\n");
}

// The sizes of the files serial_terminal.eeprom's recovery writes.
std::vector<std::uintmax_t> RecoveredSizes() {
  TempDir dir;
  EXPECT_EQ(RunCli({"--spin-source", dir.path(), Data("serial_terminal.eeprom")}).status, cli::kExitOk);
  std::vector<std::uintmax_t> sizes;
  for (const std::string& name : Entries(dir.path())) sizes.push_back(fs::file_size(dir.File(name)));
  std::sort(sizes.begin(), sizes.end());
  return sizes;
}

TEST(KeepFiles, AFileThatCannotBeWrittenLeavesNoneOfTheSet) {
  const std::vector<std::uintmax_t> sizes = RecoveredSizes();
  ASSERT_EQ(sizes.size(), 4u);
  ASSERT_LT(sizes.front(), sizes.back());
  TempDir dir;
  WriteText(dir.File("uart_pasm.spin"), "old\n");
  // Files may grow to less than the largest: the others are written, that one fails.
  rlimit previous {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
  const auto handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit = previous;
  limit.rlim_cur = sizes.back() - 1;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  const CliRun r = RunCli({"--force", "--spin-source", dir.path(), Data("serial_terminal.eeprom")});
  ::setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, handler);
  EXPECT_EQ(r.status, cli::kExitFileError);
  EXPECT_NE(r.err.find(": cannot be written: File too large; no file was written\n"), std::string::npos) << r.err;
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"uart_pasm.spin"});
  EXPECT_EQ(test::ReadText(dir.File("uart_pasm.spin")), "old\n");
}

TEST(KeepFiles, AFullDiskLeavesNoneOfTheSet) {
  // A small file system of its own, in a child process with a mount namespace of its own.
  const std::vector<std::uintmax_t> sizes = RecoveredSizes();
  std::uintmax_t pages = 0;
  for (std::uintmax_t size : sizes) pages += (size + 4095) / 4096;
  TempDir dir;
  const std::string mount = dir.File("small");
  fs::create_directory(mount);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(77);
    const std::string size = "size=" + std::to_string((pages - 1) * 4096);
    if (::mount("tmpfs", mount.c_str(), "tmpfs", 0, size.c_str()) != 0) _exit(77);
    const CliRun r = RunCli({"--spin-source", mount, Data("serial_terminal.eeprom")});
    WriteText(dir.File("err.txt"), r.err);
    _exit(r.status == cli::kExitFileError && fs::is_empty(mount) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no permission to mount a small file system";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "files were left, or the status was not 4";
  const std::string err = test::ReadText(dir.File("err.txt"));
  EXPECT_NE(err.find(": cannot be written: No space left on device; no file was written\n"), std::string::npos) << err;
}

TEST(KeepFiles, OutputNeverReplacesTheImagesSourceAndImagesOnlyWithForce) {
  TempDir dir;
  fs::copy_file(Data("led_chaser.eeprom"), dir.File("led_chaser.eeprom"));
  fs::copy_file(Data("led_chaser.spin"), dir.File("led_chaser.spin"));
  fs::copy_file(Data("led_chaser.binary"), dir.File("other.binary"));
  fs::copy_file(Data("led_chaser.binary"), dir.File("image-without-extension"));
  const std::string source = test::ReadText(dir.File("led_chaser.spin"));
  const std::string image = dir.File("led_chaser.eeprom");

  for (const char* option : {"-o", "--debug-out"}) {
    const CliRun r = RunCli({"--force", "--debug-spin", option, dir.File("led_chaser.spin"), image});
    EXPECT_EQ(r.status, cli::kExitFileError);
    EXPECT_EQ(r.err, "brevin-cli: " + dir.File("led_chaser.spin") +
                         ": the output would overwrite the Spin source beside the image\n");
  }
  EXPECT_EQ(test::ReadText(dir.File("led_chaser.spin")), source);

  // Another image, by its name or by its bytes, and another Spin source.
  fs::copy_file(Data("led_chaser.spin"), dir.File("mine.spin"));
  for (const auto& [target, kind] : {std::pair<std::string, std::string>{"other.binary", "a Propeller image"},
                                     {"image-without-extension", "a Propeller image"},
                                     {"mine.spin", "a Spin source"}}) {
    const std::string before = test::ReadText(dir.File(target));
    const CliRun r = RunCli({"-o", dir.File(target), image});
    EXPECT_EQ(r.status, cli::kExitFileError) << target;
    EXPECT_EQ(r.err, "brevin-cli: " + dir.File(target) + ": is " + kind + "; --force replaces it\n");
    EXPECT_EQ(test::ReadText(dir.File(target)), before);
    EXPECT_EQ(RunCli({"--force", "-o", dir.File(target), image}).status, cli::kExitOk) << target;
    EXPECT_EQ(test::ReadText(dir.File(target)).rfind("\r\nDisassembly of ", 0), 0u) << target;
  }
  // A listing written before is replaced as ever.
  EXPECT_EQ(RunCli({"-o", dir.File("led_chaser.lst"), image}).status, cli::kExitOk);
  EXPECT_EQ(RunCli({"-o", dir.File("led_chaser.lst"), image}).status, cli::kExitOk);
}

TEST(KeepFiles, AnImageFromAPipeIsNotReplacedByItsListing) {
  TempDir dir;
  const std::string image = dir.File("led_chaser.eeprom");
  fs::copy_file(Data("led_chaser.eeprom"), image);
  const std::string before = test::ReadText(image);
  // cat led_chaser.eeprom | brevin-cli -o led_chaser.eeprom -
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  std::thread writer([&] {
    const int fd = ::open(image.c_str(), O_RDONLY | O_CLOEXEC);
    char chunk[4096];
    for (ssize_t got; (got = ::read(fd, chunk, sizeof chunk)) > 0;) {
      if (::write(ends[1], chunk, static_cast<std::size_t>(got)) != got) break;
    }
    ::close(fd);
    ::close(ends[1]);
  });
  cli::StringSink out, err;
  const int status = cli::Run({"-o", image, "-"}, out, err, ends[0]);
  writer.join();
  ::close(ends[0]);
  EXPECT_EQ(status, cli::kExitFileError);
  EXPECT_EQ(err.Text(), "brevin-cli: " + image + ": is a Propeller image; --force replaces it\n");
  EXPECT_EQ(test::ReadText(image), before);
}

}  // namespace
}  // namespace brevin
