#include "support/fs/LineFeeds.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {

namespace {

/// Line feeds at every place the sixteen-byte steps can put them: at either
/// end of a step, several in one step, none for longer than a step.
std::string sample() {
  std::string text;
  for (int i = 0; i < 200; ++i)
    text += std::string(static_cast<size_t>(i % 37), 'x') + (i % 5 == 0 ? "\n\n" : "\n");
  return text + "tail";
}

TEST(LineFeedsTest, CountsAndPassesAsAByteByByteWalkWould) {
  const std::string text = sample();
  for (size_t from = 0; from < 40; ++from) {
    const char *start = text.data() + from;
    const char *end = text.data() + text.size();
    size_t total = 0;
    for (const char *p = start; p != end; ++p)
      total += *p == '\n';
    EXPECT_EQ(countLineFeeds(start, end), total);
    for (uint64_t wanted : {uint64_t(0), uint64_t(1), uint64_t(2), uint64_t(17), uint64_t(total),
                            uint64_t(total + 3)}) {
      const char *expected = start;
      uint64_t left = wanted;
      for (const char *p = start; p != end && left != 0; ++p)
        if (*p == '\n') {
          expected = p + 1;
          --left;
        }
      uint64_t count = wanted;
      EXPECT_EQ(passLineFeeds(start, end, count), expected) << from << " " << wanted;
      EXPECT_EQ(count, left) << from << " " << wanted;
    }
  }
}

} // namespace

} // namespace ostrel
