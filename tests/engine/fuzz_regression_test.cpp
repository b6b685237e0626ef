// Replays the fuzz inputs kept in tests/data/fuzz (each once made the engine
// crash, break a sanitizer rule or a listing rule) through the fuzz target's
// own case, so the normal and the sanitizer test runs check them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "fuzz_case.h"
#include "test_support.h"

namespace brevin {
namespace {

TEST(FuzzRegression, KeptInputsRunCleanly) {
  const std::string data = BREVIN_TEST_DATA;
  std::vector<std::filesystem::path> inputs;
  for (const auto& entry : std::filesystem::directory_iterator(data + "/fuzz")) {
    if (entry.is_regular_file() && entry.path().extension() != ".md") inputs.push_back(entry.path());
  }
  std::sort(inputs.begin(), inputs.end());
  ASSERT_FALSE(inputs.empty());
  for (const auto& path : inputs) {
    const std::vector<std::uint8_t> bytes = test::ReadBytes(path.string());
    EXPECT_EQ(fuzz::RunImageCase(bytes, data, true), "") << path.filename();
  }
}

}  // namespace
}  // namespace brevin
