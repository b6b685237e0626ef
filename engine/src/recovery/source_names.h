// The method and parameter names of a Spin source, in the order the compiler
// puts the methods in its table (PUB methods first, then PRI).
#pragma once

#include <string>
#include <vector>

namespace brevin::recovery {

struct SourceMethodName {
  std::string name;
  std::vector<std::string> parameters;
  bool isPublic = true;
};

struct SourceNames {
  std::vector<SourceMethodName> methods;  // table order
};

SourceNames ReadSourceNames(const std::string& text);

}  // namespace brevin::recovery
