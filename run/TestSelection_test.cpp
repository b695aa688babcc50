#include "run/TestSelection.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace ostrel {

namespace {

TEST(TestSelectionTest, ParseShardAcceptsOnlyKOfN) {
  for (const char *good : {"1/1", "2/3", "3/3", "10/12"})
    EXPECT_TRUE(parseShard(good).has_value()) << good;
  for (const char *bad : {"", "0/1", "4/3", "1/0", "/3", "1/", "a/b", "1/2/3", "-1/2", "1 /2",
                          "99999999999/99999999999"})
    EXPECT_FALSE(parseShard(bad).has_value()) << bad;
  std::optional<Shard> shard = parseShard("2/5");
  EXPECT_EQ(shard->index, 2u);
  EXPECT_EQ(shard->count, 5u);
}

TEST(TestSelectionTest, ShardsAreDisjointCoverEverythingAndAreBalanced) {
  for (size_t size : {0, 1, 7, 30}) {
    std::vector<size_t> selected;
    for (size_t i = 0; i < size; ++i)
      selected.push_back(i * 3);
    for (unsigned count = 1; count <= 8; ++count) {
      std::vector<size_t> all;
      size_t smallest = size, largest = 0;
      for (unsigned index = 1; index <= count; ++index) {
        std::vector<size_t> part = shardOf(selected, Shard{index, count});
        smallest = std::min(smallest, part.size());
        largest = std::max(largest, part.size());
        all.insert(all.end(), part.begin(), part.end());
      }
      std::sort(all.begin(), all.end());
      EXPECT_EQ(all, selected) << size << " in " << count;
      EXPECT_LE(largest - std::min(smallest, largest), 1u) << size << " in " << count;
    }
  }
}

} // namespace

} // namespace ostrel
