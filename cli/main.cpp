#include <csignal>
#include <cstdio>

#include "cli.h"

int main(int argc, char** argv) {
  // A reader that goes away is reported as "Broken pipe", like any other write error.
  std::signal(SIGPIPE, SIG_IGN);
  const std::vector<std::string> args(argv + 1, argv + argc);
  brevin::cli::FileSink out(stdout), err(stderr);
  const int status = brevin::cli::Run(args, out, err);
  err.Flush();
  return status;
}
