#include "support/cmdline/OptionNameMap.h"

#include <gtest/gtest.h>

namespace ostrel {

namespace {

CommandOption *tag(int n) { return reinterpret_cast<CommandOption *>(n * 8); }

std::vector<std::string> keys(const OptionNameMap &map) {
  std::vector<std::string> result;
  for (const auto &entry : map.entries())
    result.push_back(entry.key);
  return result;
}

TEST(OptionNameMap, HashIsTimesThirtyThreeFromZero) {
  EXPECT_EQ(OptionNameMap::hashKey(""), 0u);
  EXPECT_EQ(OptionNameMap::hashKey("abc"), 108966u);
  // Bytes count unsigned and the arithmetic wraps at 32 bits.
  EXPECT_EQ(OptionNameMap::hashKey("\xff"), 255u);
  uint32_t h = 0;
  for (char c : std::string("treat-scalable-fixed-error-as-warning"))
    h = h * 33u + static_cast<unsigned char>(c);
  EXPECT_EQ(OptionNameMap::hashKey("treat-scalable-fixed-error-as-warning"), h);
}

TEST(OptionNameMap, CollisionsProbeTriangularlyAndIterateByBucket) {
  // 'a' (97) and 'q' (113) both start at bucket 1 of 16; 'b' sits in 2.
  OptionNameMap map;
  EXPECT_TRUE(map.insert("a", tag(1)));
  EXPECT_TRUE(map.insert("b", tag(2)));
  EXPECT_TRUE(map.insert("q", tag(3))); // 1 -> 2 -> 4
  EXPECT_EQ(keys(map), (std::vector<std::string>{"a", "b", "q"}));
  EXPECT_EQ(map.find("q"), tag(3));

  OptionNameMap other;
  other.insert("q", tag(3));
  other.insert("a", tag(1)); // 1 -> 2
  other.insert("b", tag(2)); // 2 -> 3
  EXPECT_EQ(keys(other), (std::vector<std::string>{"q", "a", "b"}));
}

TEST(OptionNameMap, DuplicateInsertIsRefused) {
  OptionNameMap map;
  EXPECT_TRUE(map.insert("help", tag(1)));
  EXPECT_FALSE(map.insert("help", tag(2)));
  EXPECT_EQ(map.find("help"), tag(1));
  EXPECT_EQ(map.size(), 1u);
}

TEST(OptionNameMap, GrowthRedistributesInOldBucketOrder) {
  // 'Q' (81) and 'a' (97) collide in 16 buckets but not in 32.
  OptionNameMap map;
  map.insert("Q", tag(1));
  map.insert("a", tag(2));
  for (char c = 'c'; c <= 'l'; ++c) // ten fillers in buckets 3..12
    map.insert(std::string(1, c), tag(3));
  EXPECT_EQ(map.bucketCount(), 16u);
  EXPECT_EQ(keys(map).front(), "Q");
  map.insert("m", tag(4)); // the 13th item: 52 > 48, so 32 buckets
  EXPECT_EQ(map.bucketCount(), 32u);
  std::vector<std::string> order = keys(map);
  EXPECT_EQ(order.front(), "a");
  EXPECT_EQ(order.back(), "Q");
  EXPECT_EQ(map.find("Q"), tag(1));
}

TEST(OptionNameMap, EraseLeavesTombstoneThatInsertReuses) {
  OptionNameMap map;
  map.insert("a", tag(1)); // bucket 1
  map.insert("Q", tag(2)); // 1 -> 2
  EXPECT_TRUE(map.erase("a"));
  EXPECT_FALSE(map.erase("a"));
  EXPECT_EQ(map.find("a"), nullptr);
  EXPECT_EQ(map.find("Q"), tag(2)); // found past the tombstone
  map.insert("q", tag(3));          // takes the tombstone in bucket 1
  EXPECT_EQ(keys(map), (std::vector<std::string>{"q", "Q"}));
  EXPECT_FALSE(map.insert("Q", tag(4))); // still seen as taken
}

} // namespace

} // namespace ostrel
