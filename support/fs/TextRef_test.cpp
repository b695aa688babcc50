#include "support/fs/TextRef.h"

#include <gtest/gtest.h>

namespace ostrel {

namespace {

TEST(TextRefTest, ConsumeUnsignedChoosesBaseFromPrefix) {
  struct Case {
    const char *text;
    unsigned base;
    bool ok;
    uint64_t value;
    const char *rest;
  };
  const Case cases[] = {
      {"42}", 0, true, 42, "}"},
      {"0x1fz", 0, true, 31, "z"},
      {"0XFF", 0, true, 255, ""},
      {"0b102", 0, true, 2, "2"},
      {"0o17", 0, true, 15, ""},
      {"017", 0, true, 15, ""},
      {"0", 0, true, 0, ""},
      {"0,", 0, true, 0, ","},
      {"08", 0, false, 0, "08"},    // octal, and no octal digit after the prefix
      {"0x", 0, false, 0, "0x"},
      {"x1", 0, false, 0, "x1"},
      {"010", 10, true, 10, ""},    // a fixed base ignores prefixes
      {"0x10", 10, true, 0, "x10"},
      {"18446744073709551615", 0, true, UINT64_MAX, ""},
      {"18446744073709551616", 0, false, 0, "18446744073709551616"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    TextRef text = c.text;
    uint64_t value = 0;
    EXPECT_EQ(consumeUnsigned(text, value, c.base), c.ok);
    if (c.ok) {
      EXPECT_EQ(value, c.value);
    }
    EXPECT_EQ(text, c.rest);
  }
}

} // namespace

TEST(TextRefTest, FindLineEndStopsAtEitherLineEnd) {
  struct Case {
    TextRef text;
    size_t from;
    size_t end;
  };
  const Case cases[] = {
      {"", 0, 0},         {"abc", 0, 3},     {"ab\ncd", 0, 2}, {"ab\rcd\n", 0, 2},
      {"ab\ncd\r", 3, 5}, {"ab\n\rcd", 3, 3}, {"abc", 7, 3},
  };
  for (const Case &c : cases)
    EXPECT_EQ(findLineEnd(c.text, c.from), c.end) << c.text << " from " << c.from;
}

} // namespace ostrel
