// Runs brevin-cli's entry point in the test process and keeps what it printed.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli.h"

namespace brevin::test {

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

inline CliRun RunCli(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = cli::Run(args, out, err);
  return {status, out.str(), err.str()};
}

}  // namespace brevin::test
