#include "support/paths.h"

namespace brevin {

std::string FileNameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const std::string name = FileNameOf(path);
  const auto dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string SourcePathFor(const std::string& imagePath) {
  const std::string folder = FolderOf(imagePath);
  const std::string base = BaseNameOf(imagePath) + ".spin";
  if (folder.empty()) return imagePath.rfind('/', 0) == 0 ? "/" + base : base;
  return folder + "/" + base;
}

}  // namespace brevin
