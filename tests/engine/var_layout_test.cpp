// The VAR layout of a recovered object, one case a line in a data file.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "recovery/var_layout.h"

namespace brevin {
namespace {

TEST(VarLayout, EveryAccessedOffsetStartsAVariableOfItsSize) {
  std::ifstream cases(std::string(BREVIN_TEST_DATA) + "/recovery/var_layout.txt");
  ASSERT_TRUE(cases.good());
  std::string line;
  int count = 0;
  while (std::getline(cases, line)) {
    if (line.empty() || line[0] == '#') continue;
    ++count;
    const std::size_t bar1 = line.find('|');
    const std::size_t bar2 = line.find('|', bar1 + 1);
    ASSERT_NE(bar2, std::string::npos) << line;
    std::map<std::int32_t, int> accessed;
    std::istringstream pairs(line.substr(0, bar1));
    std::string pair;
    while (pairs >> pair) {
      const std::size_t colon = pair.find(':');
      accessed[std::stoi(pair.substr(0, colon))] = std::stoi(pair.substr(colon + 1));
    }
    const std::int32_t size = std::stoi(line.substr(bar1 + 1, bar2 - bar1 - 1));
    std::string expected = line.substr(bar2 + 1);
    expected = expected.substr(expected.find_first_not_of(' '));
    const bool exact = expected.back() != '!';
    if (!exact) expected = expected.substr(0, expected.find_last_not_of(" !") + 1);
    const recovery::VarLayout layout = recovery::LayOutVariables(accessed, size);
    std::string got;
    for (const std::string& declaration : layout.lines) got += (got.empty() ? "" : "; ") + declaration.substr(2);
    EXPECT_EQ(got, expected) << line;
    EXPECT_EQ(layout.exact, exact) << line;
  }
  EXPECT_GT(count, 5);
}

}  // namespace
}  // namespace brevin
