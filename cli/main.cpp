#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "cli.h"

int main(int argc, char** argv) {
  // Writing to a pipe whose reader went away fails with EPIPE instead of
  // killing the program mid-write: a file named by -o reports it, and for
  // standard output the run stops quietly (below).
  std::signal(SIGPIPE, SIG_IGN);
  const std::vector<std::string> args(argv + 1, argv + argc);
  brevin::cli::FileSink out(stdout), err(stderr);
  int status = brevin::cli::Run(args, out, err);
  // Standard output is closed and checked, as GNU tools do: the last bytes of
  // a full disk (or a failed close) are an error too. A failure Run saw
  // itself was already reported.
  if (status != brevin::cli::kExitBrokenPipe && out.Error() == 0 && !out.Close()) {
    if (out.Error() == EPIPE) {
      status = brevin::cli::kExitBrokenPipe;
    } else {
      err << "brevin-cli: standard output: cannot be written: " << std::strerror(out.Error()) << "\n";
      status = std::max(status, brevin::cli::kExitFileError);
    }
  }
  err.Flush();
  if (status == brevin::cli::kExitBrokenPipe) {
    // The end of a GNU tool whose reader went away: by the signal itself.
    std::signal(SIGPIPE, SIG_DFL);
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    sigprocmask(SIG_UNBLOCK, &pipe, nullptr);
    std::raise(SIGPIPE);
  }
  return status;
}
