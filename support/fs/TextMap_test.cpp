#include "support/fs/TextMap.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>

namespace ostrel {

TEST(TextMapTest, FindsWhatWasMadeAndNothingElse) {
  TextMap<int> map;
  EXPECT_EQ(map.find("a"), nullptr);
  map["a"] = 1;
  map["b"] = 2;
  map["a"] += 10;
  EXPECT_EQ(*map.find("a"), 11);
  EXPECT_EQ(*map.find("b"), 2);
  EXPECT_EQ(map.find("ab"), nullptr);
  EXPECT_EQ(map.find(""), nullptr);
  EXPECT_EQ(map.size(), 2u);
  map[""] = 3;
  EXPECT_EQ(*map.find(""), 3);
}

// Many keys, so that the index grows several times and the entries fill
// several blocks, with values found again where they were put.
TEST(TextMapTest, KeepsEveryValueAcrossGrowth) {
  TextMap<size_t> map;
  std::deque<std::string> keys; // the keys are views: they must stay put
  for (size_t i = 0; i < 20000; ++i) {
    keys.push_back("name" + std::to_string(i * 7919 % 20011));
    map[keys.back()] = i;
  }
  EXPECT_EQ(map.size(), 20000u);
  for (size_t i = 0; i < 20000; ++i) {
    const size_t *value = map.find(keys[i]);
    ASSERT_NE(value, nullptr) << keys[i];
    EXPECT_EQ(*value, i);
  }
  EXPECT_EQ(map.find("name20011"), nullptr);
}

} // namespace ostrel
