// brevin-cli: the engine from the command line, without a window.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "text_sink.h"

namespace brevin::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitRefused = 3;
inline constexpr int kExitFileError = 4;
// The Spin source was written, but some methods are not the same bytes.
inline constexpr int kExitInexact = 5;
// Standard output's reader went away (a pipe closed early, as by head): the
// run stops without a message, and the program then ends by SIGPIPE, as a GNU
// tool does; a shell reports that as 128 + 13.
inline constexpr int kExitBrokenPipe = 141;

// Runs the command line (arguments without the program name); the listing or
// report goes to out unless -o names a file, messages go to err. The image
// "-" is read from the file descriptor standardInput.
int Run(const std::vector<std::string>& args, TextSink& out, TextSink& err, int standardInput = 0);

// The same with C++ streams, for callers that have them (tests, the window's
// checks); out and err get the texts once the run is over.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace brevin::cli
