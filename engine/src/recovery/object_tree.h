// The object tree of a compiled Spin image: the header, and for each distinct
// object (the compiler stores identical objects once) its method table, object
// table, DAT range, method code ranges and every place it is used.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "brevin/spin_source.h"

namespace brevin::recovery {

struct MethodRange {
  int index = 0;              // 1-based entry number in the object's table
  std::int32_t start = 0;     // offset of the first bytecode from the object's start
  std::int32_t localSize = 0; // bytes of locals the table entry reserves
  std::int32_t end = 0;       // offset after the method's bytes (code and strings)
};

struct ChildEntry {
  int tableIndex = 0;          // 1-based entry number (after the methods)
  std::int32_t offset = 0;     // object offset relative to the parent's start
  std::int32_t varOffset = 0;  // VAR offset relative to the parent's VAR
  int object = -1;             // index of the distinct object
};

struct ObjectImage {
  std::int32_t address = 0;   // hub address of the first instance
  std::int32_t size = 0;      // the object's own bytes (the header's size word)
  std::span<const std::uint8_t> bytes;  // [address, address + size) of the first instance
  std::vector<MethodRange> methods;     // table order
  std::vector<ChildEntry> children;     // table order
  std::int32_t datStart = 0;  // offset of the DAT bytes
  std::int32_t datEnd = 0;    // offset after them (the first method's code)
  std::int32_t ownVarSize = 0;    // VAR bytes of its own (before its children's)
  std::int32_t totalVarSize = -1; // with its children's, -1 while unknown
  std::vector<SpinObjectInstance> instances;  // image order, each place once
  int uses = 0;  // object table entries (and the top) that name it
};

struct ImageTree {
  std::string error;  // set when the bytes are no compiled image
  bool eeprom = false;
  std::uint32_t clockFrequency = 0;
  std::uint8_t clockMode = 0;
  std::uint8_t checksum = 0;
  std::int32_t pbase = 0, vbase = 0, dbase = 0, pcurr = 0, dcurr = 0;
  std::int32_t imageSize = 0;  // bytes of the file
  std::vector<ObjectImage> objects;  // the top object first, then in image order
  // Parameters of the top object's first method, as the initial stack frame shows.
  int firstMethodParameters = 0;
};

ImageTree ReadImageTree(std::span<const std::uint8_t> image);

}  // namespace brevin::recovery
