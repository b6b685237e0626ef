// Path helpers: paths use "/" as the folder separator.
#pragma once

#include <string>

namespace brevin {

// The part after the last "/".
std::string FileNameOf(const std::string& path);
// The part before the last "/"; empty when there is none.
std::string FolderOf(const std::string& path);
// The file name without its last extension.
std::string BaseNameOf(const std::string& path);
// The Spin source beside an image: its folder, base name and ".spin".
std::string SourcePathFor(const std::string& imagePath);

}  // namespace brevin
