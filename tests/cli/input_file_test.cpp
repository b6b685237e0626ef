// brevin-cli's inputs read once into memory: a FIFO with a writer and a pipe
// given by path (as a shell's process substitution gives one) serve the
// listing, the JSON, the Spin source and a batch; a FIFO that nothing writes
// to, a folder or a device is one line naming it and never stops a batch.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <future>
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

void WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

// `cat IMAGE > FIFO` in a thread: it waits for a reader, writes the bytes and
// closes. A run that never opened the FIFO is stood in for at the end, so the
// writer always finishes.
class FifoWriter {
 public:
  FifoWriter(const std::string& path, std::vector<std::uint8_t> bytes) : path_(path) {
    EXPECT_EQ(::mkfifo(path.c_str(), 0644), 0);
    std::promise<void> started;
    std::future<void> opening = started.get_future();
    thread_ = std::thread([path, bytes = std::move(bytes), started = std::move(started)]() mutable {
      started.set_value();
      const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
      if (fd < 0) return;
      WriteAll(fd, bytes);
      ::close(fd);
    });
    opening.wait();  // the reader gives a writer a moment to open: the thread is about to
  }
  ~FifoWriter() {
    const int reader = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    thread_.join();
    if (reader >= 0) ::close(reader);
  }

 private:
  std::string path_;
  std::thread thread_;
};

// A pipe holding the bytes, named as process substitution names one: /dev/fd/N.
class PipeByPath {
 public:
  explicit PipeByPath(const std::vector<std::uint8_t>& bytes) {
    EXPECT_EQ(::pipe(fds_), 0);
    WriteAll(fds_[1], bytes);  // a small image fits in the pipe's buffer
    ::close(fds_[1]);
  }
  ~PipeByPath() { ::close(fds_[0]); }
  std::string Path() const { return "/dev/fd/" + std::to_string(fds_[0]); }

 private:
  int fds_[2] = {-1, -1};
};

TEST(Inputs, AFifoWithAWriterIsReadOnceForEveryKindOfOutput) {
  TempDir dir;
  const std::vector<std::uint8_t> image = test::ReadBytes(Data("led_chaser.binary"));
  const CliRun plain = RunCli({"--no-include-source", Data("led_chaser.binary")});
  ASSERT_EQ(plain.status, cli::kExitOk);
  {
    FifoWriter writer(dir.File("listing.fifo"), image);
    const CliRun r = RunCli({"--no-include-source", dir.File("listing.fifo")});
    EXPECT_EQ(r.status, cli::kExitOk) << r.err;
    // The same listing after the title, which names the input.
    const auto body = [](const std::string& listing) { return listing.substr(listing.find("\r\nAddr ")); };
    EXPECT_EQ(body(r.out), body(plain.out));
  }
  {
    FifoWriter writer(dir.File("json.fifo"), image);
    const CliRun r = RunCli({"--json", dir.File("json.fifo")});
    EXPECT_EQ(r.status, cli::kExitOk) << r.err;
    EXPECT_TRUE(r.out.starts_with("{\"format\":\"brevin-analysis\"")) << r.out.substr(0, 80);
  }
  {
    // The Spin source used to read its image a second time: a FIFO then waited forever.
    fs::create_directory(dir.File("out"));
    FifoWriter writer(dir.File("chaser"), image);
    const CliRun r = RunCli({"--spin-source", dir.File("out"), dir.File("chaser")});
    EXPECT_EQ(r.status, cli::kExitOk) << r.err;
    EXPECT_TRUE(fs::is_regular_file(dir.File("out/chaser.spin")));
  }
}

TEST(Inputs, APipeGivenByPathServesTheSpinSource) {
  TempDir dir;
  const PipeByPath pipe(test::ReadBytes(Data("led_chaser.binary")));
  const CliRun r = RunCli({"--spin-source", dir.path(), pipe.Path()});
  EXPECT_EQ(r.status, cli::kExitOk) << r.err;
  EXPECT_NE(r.err.find("8 methods, 8 reconstructed exactly"), std::string::npos) << r.err;
}

TEST(Inputs, ABatchGoesPastFifosFoldersAndDevices) {
  TempDir dir;
  fs::create_directory(dir.File("out"));
  fs::create_directory(dir.File("folder.eeprom"));
  ASSERT_EQ(::mkfifo(dir.File("silent.fifo").c_str(), 0644), 0);  // nothing ever writes to it
  FifoWriter writer(dir.File("chaser.fifo"), test::ReadBytes(Data("led_chaser.binary")));
  const CliRun r = RunCli({"--no-include-source", "--out-dir", dir.File("out"), "--jobs", "1", dir.File("silent.fifo"),
                           dir.File("chaser.fifo"), dir.File("folder.eeprom"), "/dev/null",
                           Data("crc_calc.eeprom")});
  EXPECT_EQ(r.status, cli::kExitFileError);
  EXPECT_NE(r.err.find("brevin-cli: " + dir.File("silent.fifo") + ": the pipe is empty (nothing was written to it)\n"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("brevin-cli: " + dir.File("folder.eeprom") + ": is a folder, not an image file\n"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("brevin-cli: /dev/null: is a device, not an image file\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("2 listed, 0 refused, 3 unreadable\n"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_regular_file(dir.File("out/chaser.fifo.lst")));
  EXPECT_TRUE(fs::is_regular_file(dir.File("out/crc_calc.eeprom.lst")));
}

}  // namespace
}  // namespace brevin
