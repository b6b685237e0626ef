// The DAT part of a recovered object written as data: a label at every place
// the Spin code names, declared with the size the code reads there, and the
// bytes between as byte lines (printable runs as strings).
#include "recovery/dat_section.h"

#include <algorithm>

namespace brevin::recovery {
namespace {

std::string Hex(std::uint32_t value, int digits) {
  static const char* hex = "0123456789ABCDEF";
  std::string s = "$";
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) s += hex[(value >> shift) & 0xF];
  return s;
}

bool Printable(std::uint8_t c) { return c >= 0x20 && c < 0x7F && c != '"'; }

// Byte lines for bytes[from, to), sixteen values or one string run a line.
void ByteLines(std::span<const std::uint8_t> bytes, std::size_t from, std::size_t to, const std::string& label,
               std::vector<std::string>& lines) {
  std::string pending = label;
  std::size_t at = from;
  while (at < to) {
    std::size_t run = at;
    while (run < to && Printable(bytes[run])) ++run;
    std::string values;
    std::size_t stop = at;
    if (run - at >= 4) {
      values = "\"" + std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(run)) + "\"";
      stop = run;
      if (stop < to && bytes[stop] == 0) {
        values += ", 0";
        ++stop;
      }
    } else {
      while (stop < to && stop - at < 16) {
        std::size_t ahead = stop;
        while (ahead < to && Printable(bytes[ahead])) ++ahead;
        if (ahead - stop >= 4 && stop > at) break;
        values += (stop > at ? ", " : "") + Hex(bytes[stop], 2);
        ++stop;
      }
    }
    lines.push_back((pending.empty() ? "  " : pending + " ") + "byte " + values);
    pending.clear();
    at = stop;
  }
  if (!pending.empty()) lines.push_back(pending + " byte");
}

}  // namespace

DatSection RecoverDatSection(const DatSectionInput& input) {
  DatSection section;
  std::map<std::int32_t, int> refs;
  for (const DatReference& r : input.references) {
    if (r.offset < input.offset || r.offset > input.offset + static_cast<std::int32_t>(input.bytes.size())) continue;
    int& size = refs[r.offset];
    size = std::max(size, r.size);
  }
  std::size_t at = 0;
  const std::size_t total = input.bytes.size();
  auto it = refs.begin();
  while (at < total || it != refs.end()) {
    const std::size_t nextRef = it == refs.end() ? total : static_cast<std::size_t>(it->first - input.offset);
    if (at < nextRef) {
      ByteLines(input.bytes, at, nextRef, "", section.lines);
      at = nextRef;
      continue;
    }
    if (it == refs.end()) break;
    const std::int32_t offset = it->first;
    int size = it->second;
    if (offset % size != 0) {
      section.exact = false;
      section.difference = "a label at " + Hex(static_cast<std::uint32_t>(offset), 4) + " is read off its alignment";
      size = 1;
    }
    ++it;
    const std::size_t stop = it == refs.end() ? total : static_cast<std::size_t>(it->first - input.offset);
    std::string name = "dat_" + Hex(static_cast<std::uint32_t>(offset), 4).substr(1);
    if (input.labelAt) {
      if (std::optional<std::string> listed = input.labelAt(input.objectAddress + offset)) name = *listed;
    }
    section.labels[offset] = {name, size};
    const std::size_t units = (stop - at) / static_cast<std::size_t>(size);
    const char* directive = size == 1 ? "byte" : size == 2 ? "word" : "long";
    if (units == 0) {
      // A label with no data of its size: it still declares that size.
      section.lines.push_back(name + " " + directive);
      ByteLines(input.bytes, at, stop, "", section.lines);
      at = stop;
      continue;
    }
    if (size == 1) {
      ByteLines(input.bytes, at, stop, name, section.lines);
      at = stop;
      continue;
    }
    std::string pending = name;
    for (std::size_t u = 0; u < units; u += 8) {
      std::string values;
      for (std::size_t k = u; k < std::min(units, u + 8); ++k) {
        std::uint32_t v = 0;
        for (int b = size - 1; b >= 0; --b) v = (v << 8) | input.bytes[at + k * static_cast<std::size_t>(size) + static_cast<std::size_t>(b)];
        values += (k > u ? ", " : "") + Hex(v, 2 * size);
      }
      section.lines.push_back((pending.empty() ? "  " : pending + " ") + directive + " " + values);
      pending.clear();
    }
    at += units * static_cast<std::size_t>(size);
    if (at < stop) ByteLines(input.bytes, at, stop, "", section.lines);
    at = stop;
  }
  return section;
}

}  // namespace brevin::recovery
