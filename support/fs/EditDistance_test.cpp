#include "support/fs/EditDistance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace ostrel {

namespace {

TEST(EditDistanceTest, LevenshteinWithEarlyCutOff) {
  struct Case {
    TextRef a, b;
    unsigned expected;
  } cases[] = {
      {"", "", 0},         {"abc", "", 3},  {"", "abc", 3},
      {"kitten", "sitting", 3}, {"abcd", "abce", 1}, {"abcd", "bcd", 1},
      {"flaw", "lawn", 2}, {"check-prefix", "chek-prefix", 1},
  };
  for (const Case &c : cases)
    EXPECT_EQ(editDistance(c.a, c.b), c.expected) << c.a << " / " << c.b;
  // Beyond the limit the answer is limit + 1; within it, exact.
  EXPECT_EQ(editDistance("kitten", "sitting", 1), 2u);
  EXPECT_EQ(editDistance("kitten", "sitting", 3), 3u);
  EXPECT_EQ(editDistance("aaaaaaaaaa", "b", 4), 5u);
  EXPECT_EQ(editDistance("a", "abcdef", 2), 3u);
  EXPECT_EQ(editDistance("a", "a", 0), 0u);
  EXPECT_EQ(editDistance("a", "b", 0), 1u);
}

TEST(EditDistanceTest, CutOffAgreesWithTheFullTable) {
  auto full = [](const std::string &a, const std::string &b) {
    std::vector<std::vector<unsigned>> d(a.size() + 1, std::vector<unsigned>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i)
      for (size_t j = 0; j <= b.size(); ++j)
        d[i][j] = i == 0 || j == 0 ? static_cast<unsigned>(i + j)
                                   : std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                               d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
    return d[a.size()][b.size()];
  };
  std::mt19937 random(11);
  auto pick = [&](size_t length) {
    std::string text;
    for (size_t i = 0; i < length; ++i)
      text += "abc"[random() % 3];
    return text;
  };
  for (int round = 0; round < 3000; ++round) {
    // Lengths past 64 take the texts beyond any small fixed-size row.
    size_t most = round % 10 == 0 ? 120 : 40;
    std::string a = pick(random() % most), b = pick(random() % most);
    unsigned distance = full(a, b);
    unsigned limit = random() % 30;
    ASSERT_EQ(editDistance(a, b, limit), std::min(distance, limit + 1))
        << a << " / " << b << " limit " << limit;
    ASSERT_EQ(editDistance(a, b), distance) << a << " / " << b;
  }
}

} // namespace

} // namespace ostrel
