// DAT bytes written as byte, word and long directives (printable runs as
// strings) that the compiler enters as the same bytes: a word or long
// directive is aligned by the compiler to its size from the object's start,
// padding with zeros, so one is only written where the offset is aligned.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "recovery/dat_section.h"

namespace brevin::recovery {

// A label a data line must carry: size is its directive's size (1, 2 or 4),
// or 0 when any size will do.
struct WantedLabel {
  std::string name;
  int size = 0;
};

// Bytes of the object from offset base on (bytes[0] is at base).
struct ObjectBytes {
  std::span<const std::uint8_t> bytes;
  std::int32_t base = 0;
  std::uint8_t At(std::int32_t offset) const { return bytes[static_cast<std::size_t>(offset - base)]; }
};

// Writes the bytes at [begin, end) as data lines with the wanted labels on
// them (each label starts a line). Returns false when a label could not get
// its size (its offset is not aligned to it, or the next label comes before
// one item of that size ends); such a label is written with the byte size.
bool WriteDataLines(const ObjectBytes& object, std::int32_t begin, std::int32_t end,
                    const std::map<std::int32_t, WantedLabel>& labels, std::vector<std::string>& lines,
                    std::map<std::int32_t, DatLabel>& written);

// A data item: decimal below 1024, else "$" and all the hex digits of the size.
std::string DataItemText(std::uint32_t value, int digits);

// One source line: label column, then the directive or instruction, then operands.
std::string SourceLine(const std::string& label, const std::string& op, const std::string& operands);

}  // namespace brevin::recovery
