// Writing an output file all at once: a temporary file in the target folder,
// renamed into place, so a failed run never leaves a partial file behind.
#pragma once

#include <string>
#include <string_view>

namespace brevin::cli {

// Returns an empty text on success, else a message naming the file.
std::string WriteFileAtomically(const std::string& path, std::string_view contents);

}  // namespace brevin::cli
