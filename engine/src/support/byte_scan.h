// Looking for bytes that are not 0 in long runs of zeros (the empty top of an
// .eeprom), eight bytes at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace brevin {

// True when the n bytes are all 0.
inline bool AllZero(const std::uint8_t* bytes, std::size_t n) {
  std::uint64_t any = 0;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + i, sizeof word);
    any |= word;
  }
  for (; i < n; ++i) any |= bytes[i];
  return any == 0;
}

// The length of bytes without its trailing zeros.
inline std::size_t LengthWithoutTrailingZeros(const std::uint8_t* bytes, std::size_t n) {
  constexpr std::size_t kBlock = 64;
  while (n >= kBlock && AllZero(bytes + n - kBlock, kBlock)) n -= kBlock;
  while (n > 0 && bytes[n - 1] == 0) --n;
  return n;
}

}  // namespace brevin
