// brevin-cli's messages: one line each, "brevin-cli: FILE: ...", with the
// engine's own sentence inside. The engine writes its messages for a message
// box (paragraphs split by blank CR LF lines, a question for Yes/No); these
// functions turn them into lines for a terminal or a log.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "brevin/engine.h"
#include "brevin/host.h"
#include "brevin/options.h"

namespace brevin::cli {

inline constexpr std::string_view kProgram = "brevin-cli: ";
// How a run names an image read from standard input ("-").
inline constexpr std::string_view kStandardInput = "standard input";

// A file name as a message shows it: as it is when it holds no control
// character, else quoted for the shell with each control character escaped
// ('a'$'\n''b.binary'), so that the message stays one line, a terminal's
// escape sequence is shown instead of obeyed, and the name can be pasted back
// into a command.
std::string QuotedName(std::string_view name);
// text with every occurrence of name replaced by QuotedName(name): for the
// engine's messages, which name the file as they were given it.
std::string WithQuotedName(std::string_view text, std::string_view name);

// The line (without the program's prefix and line end) for a message box the
// engine would show while loading image; a question is answered by the
// options, so it is left out. These lines name image (and any other file) as
// QuotedName shows it.
std::string MessageLine(const std::string& image, const std::string& text, MessageButtons buttons,
                        MessageIcon icon);
// The line for one of the load's notices.
std::string NoticeLine(const std::string& image, const Notice& notice);
// The refusal of an image whose checksum is wrong, with the byte found and the
// one that would mend it.
std::string ChecksumLine(const std::string& image, const ChecksumFigures& figures);

// The line for one of the engine's load warnings: "IMAGE: warning: ...", with
// the image named once even when the warning starts with it.
std::string WarningLine(const std::string& image, const std::string& warning);

// "IMAGE: 12 of 40 methods are not called from the program; --trace-all-methods
// decodes them" when tracing left method entries undecoded; empty when it did
// not, when the option was on, or when warnings are inhibited.
std::string UntracedMethodsLine(const std::string& image, const LoadResult& result, const Options& options);

}  // namespace brevin::cli
