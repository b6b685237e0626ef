#include <cstdio>

#include "cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  brevin::cli::FileSink out(stdout), err(stderr);
  const int status = brevin::cli::Run(args, out, err);
  err.Flush();
  return status;
}
