// How a printed method names what it uses. The project fills these hooks
// from its name table; the printer asks them for every name it writes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace brevin::recovery {

// A variable as the source declares it: its name and size in bytes.
struct DeclaredName {
  std::string name;
  int size = 4;
};

struct BodyNaming {
  std::function<std::string(int method)> method;                        // a method of this object
  std::function<std::string(int entry)> child;                          // an object entry
  std::function<std::string(int entry, int method)> childMethod;        // a method of that object
  std::function<DeclaredName(std::int32_t offset, int size)> var;       // VAR
  std::function<DeclaredName(std::int32_t offset, int size)> dat;       // DAT
  std::function<std::string(std::int32_t offset)> local;                // result, parameters, locals
  // Parameters a method takes, when known: calls must pass as many.
  std::function<int(int method)> parameters;
  std::function<int(int entry, int method)> childParameters;
};

}  // namespace brevin::recovery
