// libFuzzer target: any bytes as an image for the Spin source recovery, which
// must give files or a clear error, and sound statement marks, never a crash
// or a hang.
#include <cstdio>
#include <cstdlib>

#include "fuzz_case.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string problems = brevin::fuzz::SpinSourceProblems({data, size});
  if (!problems.empty()) {
    std::fprintf(stderr, "recovery_fuzzer: %s\n", problems.c_str());
    std::abort();
  }
  return 0;
}
