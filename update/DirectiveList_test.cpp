#include "update/DirectiveList.h"

#include <gtest/gtest.h>

namespace ostrel {

TEST(DirectiveList, EachTextIsReadBackWholeByIndexAndInOrder) {
  DirectiveList list;
  EXPECT_TRUE(list.empty());
  list.push_back("CHECK: a");
  list.append({"CHECK", "-NEXT", ":", " ", "b {{c}}"});
  list.push_back("");
  list.append({"CHECK-EMPTY:"});
  const std::vector<std::string> expected{"CHECK: a", "CHECK-NEXT: b {{c}}", "", "CHECK-EMPTY:"};
  ASSERT_EQ(list.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(list[i], expected[i]) << i;
  EXPECT_EQ(list.back(), "CHECK-EMPTY:");
  EXPECT_EQ(std::vector<std::string>(list.begin(), list.end()), expected);
  EXPECT_EQ(list.bytes(), 8u + 19u + 12u);

  DirectiveList copied(expected);
  EXPECT_EQ(std::vector<std::string>(copied.begin(), copied.end()), expected);
}

} // namespace ostrel
