// What the header of an image says that no method holds: the clock settings
// of the top object's CON block, and whether the header, the checksum and an
// .eeprom's bytes after the program are what the compiler writes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "recovery/object_tree.h"

namespace brevin::recovery {

// The CON lines (_clkmode and _xinfreq or _clkfreq) for the header's clock;
// none for the compiler's default. False when the mode byte is no setting the
// compiler writes.
bool ClockLines(const ImageTree& tree, std::vector<std::string>& lines);

// Empty when the header, checksum and .eeprom tail are the compiler's, else what differs.
std::string ImageDifference(std::span<const std::uint8_t> image, const ImageTree& tree);

// A byte as $XX.
std::string Hex2(unsigned value);

}  // namespace brevin::recovery
