// Fingerprints of the compiled Spin objects of an image: for each distinct
// object a hash of its bytes that does not depend on where it sits, and one
// per method. Identical objects give identical prints in any program, so a
// print names an object the library (or a person's notes) knows.
//
// What the compiler patches per use is left out: each child entry of the
// object table holds the child's offset and VAR offset, which depend on the
// sizes of the objects around it, so both words count as zero. A method's
// print covers its bytecode and strings with the operands of every call
// masked: a call names a method by its entry number, which moves when a
// method is added to its object or to a child.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "recovery/object_tree.h"

namespace brevin::library {

using Print = std::uint64_t;

// A call a method makes, as the bytecode numbers it.
struct CallSite {
  int object = 0;  // 0: a method of the same object; else the child entry (1-based, in table order)
  int method = 0;  // the method's entry number in that object (1-based)
  bool operator==(const CallSite&) const = default;
};

struct MethodPrint {
  Print print = 0;
  int bytes = 0;                 // code and strings
  std::vector<CallSite> calls;   // in the order the bytecode holds them
};

struct ObjectPrint {
  Print print = 0;
  int bytes = 0;
  std::vector<MethodPrint> methods;  // table order
};

// 64-bit FNV-1a over bytes, continuing from seed.
Print HashBytes(std::span<const std::uint8_t> bytes, Print seed = 0xcbf29ce484222325ull);

// The print of one object of a tree.
ObjectPrint FingerprintObject(const recovery::ObjectImage& object);

// The prints of every distinct object of the tree, in its order (the top first).
std::vector<ObjectPrint> FingerprintTree(const recovery::ImageTree& tree);

// A print as 16 lower-case hex digits, and back (false on anything else).
std::string PrintText(Print print);
bool ParsePrint(std::string_view text, Print& print);

}  // namespace brevin::library
