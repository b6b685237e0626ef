// The one output writer, through brevin-cli -o and directly: what each kind of
// target becomes, and that nothing is lost, split or left half written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cli.h"
#include "cli_run.h"
#include "output_file.h"
#include "test_support.h"

namespace brevin {
namespace {

namespace fs = std::filesystem;
using test::CliRun;
using test::RunCli;

struct stat StatOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::size_t EntriesIn(const std::string& dir) {
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir)) ++entries;
  return entries;
}

// A folder with an image and the listing a run to standard output gives of it.
struct ImageAndListing {
  test::TempDir dir;
  std::string image = dir.File("p.binary");
  std::string listing;
  ImageAndListing() {
    test::ImageSpec spec;
    spec.object = {0, 0, 0, 0, 8, 0, 0, 0, 0x32};
    spec.varBytes = 4;
    test::WriteBytes(image, test::BuildImage(spec));
    const CliRun run = RunCli({"--inhibit-warnings", image});
    EXPECT_EQ(run.status, cli::kExitOk);
    listing = run.out;
  }
  CliRun WriteTo(const std::string& target) const { return RunCli({"--inhibit-warnings", "-o", target, image}); }
};

TEST(OutputFile, ASymbolicLinkIsFollowedAndKept) {
  ImageAndListing s;
  WriteText(s.dir.File("real.lst"), "old");
  fs::create_symlink("real.lst", s.dir.File("link.lst"));  // relative, as ln -s makes it
  ASSERT_EQ(s.WriteTo(s.dir.File("link.lst")).status, cli::kExitOk);
  EXPECT_TRUE(fs::is_symlink(s.dir.File("link.lst")));
  EXPECT_EQ(test::ReadText(s.dir.File("real.lst")), s.listing);

  // A link to a file not there yet makes the file, as a redirection does.
  fs::create_symlink(s.dir.File("later.lst"), s.dir.File("dangling.lst"));
  ASSERT_EQ(s.WriteTo(s.dir.File("dangling.lst")).status, cli::kExitOk);
  EXPECT_TRUE(fs::is_symlink(s.dir.File("dangling.lst")));
  EXPECT_EQ(test::ReadText(s.dir.File("later.lst")), s.listing);

  fs::create_symlink("loop-b", s.dir.File("loop-a"));
  fs::create_symlink("loop-a", s.dir.File("loop-b"));
  const CliRun loop = s.WriteTo(s.dir.File("loop-a"));
  EXPECT_EQ(loop.status, cli::kExitFileError);
  EXPECT_EQ(loop.err, "brevin-cli: " + s.dir.File("loop-a") + ": cannot be written: Too many levels of symbolic links\n");
}

TEST(OutputFile, AHardLinkedFileIsRewrittenInPlaceForAllItsNames) {
  ImageAndListing s;
  WriteText(s.dir.File("a.lst"), std::string(100000, 'x'));  // longer than the listing: the rest must go
  fs::create_hard_link(s.dir.File("a.lst"), s.dir.File("b.lst"));
  const ino_t inode = StatOf(s.dir.File("a.lst")).st_ino;
  ASSERT_EQ(s.WriteTo(s.dir.File("a.lst")).status, cli::kExitOk);
  EXPECT_EQ(test::ReadText(s.dir.File("b.lst")), s.listing);
  EXPECT_EQ(StatOf(s.dir.File("a.lst")).st_ino, inode);
  EXPECT_EQ(StatOf(s.dir.File("a.lst")).st_nlink, 2u);
}

TEST(OutputFile, ARewrittenFileKeepsItsModeOwnerAndGroup) {
  ImageAndListing s;
  const std::string path = s.dir.File("private.lst");
  WriteText(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(path.c_str(), 1, 1), 0);  // someone else's file, as root may write it
  }
  const struct stat before = StatOf(path);
  ASSERT_EQ(s.WriteTo(path).status, cli::kExitOk);
  const struct stat after = StatOf(path);
  EXPECT_EQ(test::ReadText(path), s.listing);
  EXPECT_EQ(after.st_mode & 07777, 0600u);
  EXPECT_EQ(after.st_gid, before.st_gid);
  if (root) {
    EXPECT_EQ(after.st_uid, 1u);
  }
  EXPECT_EQ(EntriesIn(s.dir.path()), 2u) << "no temporary file left";
}

TEST(OutputFile, AReadOnlyFileIsRefusedAndKept) {
  ImageAndListing s;
  const std::string path = s.dir.File("locked.lst");
  WriteText(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  const CliRun run = s.WriteTo(path);
  EXPECT_EQ(run.status, cli::kExitFileError);
  // Root may write it but is refused all the same: nobody is meant to.
  const std::string reason = ::geteuid() == 0 ? "the file is read-only" : "Permission denied";
  EXPECT_EQ(run.err, "brevin-cli: " + path + ": cannot be written: " + reason + "\n");
  EXPECT_EQ(test::ReadText(path), "old");
  EXPECT_EQ(StatOf(path).st_mode & 07777, 0444u);
  EXPECT_EQ(EntriesIn(s.dir.path()), 2u);
}

TEST(OutputFile, AReadOnlyFolderIsRefused) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may create files in any folder";
  ImageAndListing s;
  const std::string folder = s.dir.File("sealed");
  fs::create_directory(folder);
  WriteText(folder + "/old.lst", "old");
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  for (const std::string name : {"old.lst", "new.lst"}) {
    const CliRun run = s.WriteTo(folder + "/" + name);
    EXPECT_EQ(run.status, cli::kExitFileError);
    EXPECT_EQ(run.err, "brevin-cli: " + folder + "/" + name + ": cannot be written: Permission denied\n");
  }
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(test::ReadText(folder + "/old.lst"), "old");
}

TEST(OutputFile, AFifoIsWrittenThroughAndStaysAFifo) {
  ImageAndListing s;
  const std::string fifo = s.dir.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  std::string received;
  std::thread reader([&] {
    std::ifstream in(fifo, std::ios::binary);
    received.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  });
  const CliRun run = s.WriteTo(fifo);
  reader.join();
  EXPECT_EQ(run.status, cli::kExitOk) << run.err;
  EXPECT_EQ(received, s.listing);
  EXPECT_TRUE(S_ISFIFO(StatOf(fifo).st_mode));
}

TEST(OutputFile, DevicesStayDevices) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root could have replaced a device";
  ImageAndListing s;
  for (const char* device : {"/dev/null", "/dev/full"}) {
    if (!fs::exists(device)) continue;
    const CliRun run = s.WriteTo(device);
    if (std::string(device) == "/dev/null") {
      EXPECT_EQ(run.status, cli::kExitOk) << run.err;
    } else {
      EXPECT_EQ(run.status, cli::kExitFileError);
      EXPECT_EQ(run.err, "brevin-cli: /dev/full: cannot be written: No space left on device\n");
    }
    EXPECT_TRUE(S_ISCHR(StatOf(device).st_mode)) << device << " is no longer a device";
  }
}

// A reader that went away is no failure to report: the run stops quietly
// (and the program then ends by SIGPIPE, as tests/cli/standard_output_test.cpp checks).
TEST(OutputFile, AClosedPipeOnStandardOutputEndsTheRunQuietly) {
  ImageAndListing s;
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);  // nobody reads
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  std::FILE* pipe = ::fdopen(ends[1], "w");
  cli::FileSink out(pipe);
  cli::StringSink err;
  EXPECT_EQ(cli::Run({"--inhibit-warnings", s.image}, out, err), cli::kExitBrokenPipe);
  std::fclose(pipe);
  std::signal(SIGPIPE, previous);
  EXPECT_EQ(err.Text(), "");
}

TEST(OutputFile, TheWriterRefusesItsInputsAndFolders) {
  ImageAndListing s;
  const auto image = platform::IdentityOf(s.image);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(platform::WriteOutputFile(s.dir.path() + "/../" + fs::path(s.dir.path()).filename().string() + "/p.binary",
                                      "text", {*image}),
            "the output would overwrite the image");
  EXPECT_EQ(platform::WriteOutputFile(s.dir.path(), "text"), "is a folder");
  EXPECT_FALSE(platform::IdentityOf("/dev/null").has_value()) << "a device is no input that output could destroy";
  EXPECT_EQ(platform::WriteOutputFile(s.dir.File("empty.lst"), ""), "");
  EXPECT_TRUE(fs::is_regular_file(s.dir.File("empty.lst")));
  EXPECT_EQ(fs::file_size(s.dir.File("empty.lst")), 0u);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(StatOf(s.dir.File("empty.lst")).st_mode & 07777, 0666u & ~mask) << "a new file's mode is a redirection's";
}

}  // namespace
}  // namespace brevin
