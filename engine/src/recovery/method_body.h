// A Spin method's bytecode turned back into statements: the control structures
// the compiler emits (if/elseif/else, case, every repeat form, next/quit,
// lookup/lookdown) and the expressions rebuilt from the operand stack.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace brevin::recovery {

// A line of a method body: its indent (in steps of two spaces), its text and
// the object offset of its first bytecode.
struct BodyLine {
  int indent = 0;
  std::string text;
  std::int32_t offset = 0;
};

// A variable as the source declares it: its name and size in bytes.
struct DeclaredName {
  std::string name;
  int size = 4;
};

// How the body names what it uses; the facts pass gives placeholders.
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

// What the body uses, gathered for the declarations.
struct BodyFacts {
  std::map<std::int32_t, int> varSizes;  // offset -> largest size accessed
  std::map<std::int32_t, int> datSizes;
  std::map<int, int> callArguments;                     // method -> arguments pushed
  std::map<std::pair<int, int>, int> childCallArguments; // (entry, method) -> arguments
  std::vector<int> indexedChildEntries;                 // entries called with an index
  std::vector<int> singleChildEntries;                  // entries called without one
  std::vector<std::int32_t> asmStarts;                  // DAT offsets started in a cog
  std::int32_t maxLocal = 0;                            // largest local offset used
  std::set<std::int32_t> localOffsets;                  // every local offset used
};

struct MethodBody {
  std::vector<BodyLine> lines;  // when not exact: the statements read before the difference
  bool exact = true;
  std::string difference;   // why not, when not exact
  std::int32_t codeEnd = 0; // offset after the code (strings follow)
};

// Decompiles the method whose code starts at start and whose bytes (code and
// strings) end at end, inside the object's bytes.
MethodBody DecompileMethod(std::span<const std::uint8_t> object, std::int32_t start, std::int32_t end,
                           const BodyNaming& naming, BodyFacts& facts);

// The text of a number as a constant reads best (decimal or $hex).
std::string ConstantText(std::int64_t value);
// The same as $hex, in whole bytes.
std::string HexText(std::int64_t value);
// The same in decimal, digits grouped by three when it is long.
std::string DecimalText(std::int64_t value);

}  // namespace brevin::recovery
