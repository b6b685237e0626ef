// libFuzzer's custom mutator for the image targets: one mutation in three is
// MutateHeaderWords (header addresses at the edges of hub memory or next to
// each other, with the checksum mended), the rest libFuzzer's own.
#include <cstddef>
#include <cstdint>

#include "fuzz_case.h"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed) {
  if (size < 16 || seed % 3 != 0) return LLVMFuzzerMutate(data, size, maxSize);
  brevin::fuzz::MutateHeaderWords({data, size}, seed / 3);
  return size;
}
