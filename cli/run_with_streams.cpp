// Run for callers with C++ streams. Kept apart from cli.cpp so that the
// program itself, which calls Run with its own sinks, links no stream code.
#include <ostream>

#include "cli.h"

namespace brevin::cli {

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  StringSink outText, errText;
  const int status = Run(args, outText, errText);
  out << outText.Text();
  err << errText.Text();
  return status;
}

}  // namespace brevin::cli
