// brevin-cli as a process, as a shell starts it: standard output on a pipe
// whose reader has gone (as `| head -1` leaves it), on a full device and
// closed; the status and the messages of each.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

extern char** environ;

namespace brevin {
namespace {

std::string Data(const std::string& name) { return std::string(BREVIN_TEST_DATA) + "/" + name; }

struct ProcessRun {
  int wait = 0;     // the wait status
  std::string err;  // all it wrote to standard error
};

// Runs brevin-cli with its standard output on outFd (closed when outFd is -1).
ProcessRun RunProgram(const std::vector<std::string>& args, int outFd) {
  ProcessRun run;
  int errPipe[2];
  if (::pipe2(errPipe, O_CLOEXEC) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (outFd < 0) {
    posix_spawn_file_actions_addclose(&actions, 1);
  } else {
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  }
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  std::vector<std::string> words = {BREVIN_CLI_EXE};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, BREVIN_CLI_EXE, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(errPipe[1]);
  char buffer[4096];
  for (ssize_t got; (got = ::read(errPipe[0], buffer, sizeof buffer)) > 0;) run.err.append(buffer, static_cast<std::size_t>(got));
  ::close(errPipe[0]);
  if (spawned == 0) ::waitpid(pid, &run.wait, 0);
  return run;
}

const std::vector<std::vector<std::string>>& EveryKindOfOutput() {
  static const std::vector<std::vector<std::string>> runs = {
      {"--version"},
      {"--help"},
      {"--spin-opcodes"},
      {"--inhibit-warnings", Data("serial_terminal.eeprom")},
      {"--inhibit-warnings", "--json", Data("serial_terminal.eeprom")},
      {"--inhibit-warnings", "--flags-report", Data("led_chaser.eeprom")},
      {"--inhibit-warnings", "--debug-spin", "--debug-out=-", "-o", "/dev/null", Data("led_chaser.eeprom")},
  };
  return runs;
}

std::string Joined(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& arg : args) text += " " + arg;
  return text;
}

// A reader that went away ends the run as it ends a GNU tool: by SIGPIPE, with
// no message.
TEST(StandardOutput, APipeClosedEarlyEndsTheRunQuietlyBySigpipe) {
  for (const std::vector<std::string>& args : EveryKindOfOutput()) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    ::close(fds[0]);
    const ProcessRun run = RunProgram(args, fds[1]);
    ::close(fds[1]);
    EXPECT_TRUE(WIFSIGNALED(run.wait) && WTERMSIG(run.wait) == SIGPIPE) << Joined(args) << ": wait status " << run.wait;
    EXPECT_EQ(run.err, "") << Joined(args);
  }
}

// A full disk, or standard output closed: one line with the system's reason, status 4.
TEST(StandardOutput, AFullDeviceOrAClosedOutputIsAFileError) {
  const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  if (full < 0) GTEST_SKIP() << "no /dev/full";
  for (const std::vector<std::string>& args : EveryKindOfOutput()) {
    for (const auto& [fd, reason] : {std::pair<int, std::string>{full, "No space left on device"},
                                      {-1, "Bad file descriptor"}}) {
      const ProcessRun run = RunProgram(args, fd);
      EXPECT_TRUE(WIFEXITED(run.wait) && WEXITSTATUS(run.wait) == 4) << Joined(args) << ": wait status " << run.wait;
      EXPECT_EQ(run.err, "brevin-cli: standard output: cannot be written: " + reason + "\n") << Joined(args);
    }
  }
  ::close(full);
}

}  // namespace
}  // namespace brevin
