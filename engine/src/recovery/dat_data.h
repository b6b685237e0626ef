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

// The labels wanted at each offset, in the order they are written: all but
// the last stand alone ("name word" with no data), the last carries the
// offset's data.
using WantedLabels = std::map<std::int32_t, std::vector<WantedLabel>>;

// Bytes of the object from offset base on (bytes[0] is at base).
struct ObjectBytes {
  std::span<const std::uint8_t> bytes;
  std::int32_t base = 0;
  std::uint8_t At(std::int32_t offset) const { return bytes[static_cast<std::size_t>(offset - base)]; }
};

// Writes the bytes at [begin, end) as data lines with the wanted labels on
// them, adding the lines and labels to out. A label whose size no item can
// take before the next label stands alone on its line, typed. Returns false
// when a label could not get its size because its offset is not aligned to
// it; such a label is written with the byte size.
bool WriteDataLines(const ObjectBytes& object, std::int32_t begin, std::int32_t end, const WantedLabels& labels,
                    DatSection& out);

// Notes a label written at offset: among all labels, and as the offset's
// label for the Spin code when it is the widest there.
void RecordLabel(DatSection& out, std::int32_t offset, const std::string& name, int size);

// The directive of a size: 1 byte, 2 word, 4 long.
const char* SizeDirective(int size);

// A data item: decimal below 1024, else "$" and all the hex digits of the size.
std::string DataItemText(std::uint32_t value, int digits);

// One source line: label column, then the directive or instruction, then operands.
std::string SourceLine(const std::string& label, const std::string& op, const std::string& operands);

}  // namespace brevin::recovery
