// The size of the hub memory an image fills: every address the engine knows.
#pragma once

#include <cstdint>

namespace brevin {

// Hub memory is 32 KB; every analysis table has one entry per hub address.
inline constexpr std::int32_t kImageSize = 32768;
inline constexpr std::int32_t kLastAddress = 0x7FFF;

inline bool InImage(std::int64_t address) { return address >= 0 && address <= kLastAddress; }

}  // namespace brevin
