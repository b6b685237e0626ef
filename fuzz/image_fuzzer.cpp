// libFuzzer target: arbitrary bytes as an image through load, analysis and
// listing, with view options and host answers taken from the input.
#include <cstdio>
#include <cstdlib>

#include "fuzz_case.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string problems = brevin::fuzz::RunImageCase({data, size}, BREVIN_FUZZ_SOURCES);
  if (!problems.empty()) {
    std::fprintf(stderr, "image_fuzzer: %s\n", problems.c_str());
    std::abort();
  }
  return 0;
}
