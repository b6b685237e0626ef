// Listings of real images compared byte for byte with reviewed golden files.
// Regenerate them with scripts/update-golden and review the diff.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cli.h"
#include "test_support.h"

namespace brevin {
namespace {

TEST(Golden, SampleListingsMatch) {
  // Run from the repository root: listings name their images as tests/data/NAME.
  const std::filesystem::path data = "tests/data";
  ASSERT_TRUE(std::filesystem::is_directory(data)) << "run from the repository root";
  int compared = 0;
  for (const auto& entry : std::filesystem::directory_iterator(data)) {
    if (entry.path().extension() != ".lst") continue;
    const std::string image = (data / entry.path().stem()).string();
    std::ostringstream out, err;
    ASSERT_EQ(cli::Run({image}, out, err), cli::kExitOk) << image << ": " << err.str();
    const std::string expected = test::ReadText(entry.path().string());
    EXPECT_TRUE(out.str() == expected) << image << " differs from its golden listing " << entry.path();
    ++compared;
  }
  EXPECT_GE(compared, 3);
}

}  // namespace
}  // namespace brevin
