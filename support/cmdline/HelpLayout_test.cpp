#include "support/cmdline/HelpLayout.h"

#include <gtest/gtest.h>

namespace ostrel {

namespace {

TEST(HelpLayoutTest, HelpTextSplitsIntoLines) {
  // First width 6 of a global width 8: two blanks of padding, then " - ";
  // later lines start at column 8 (10 for an enumeration literal).
  struct Case {
    const char *help;
    const char *helpLine;
    const char *valueHelpLine;
  };
  const Case cases[] = {
      {"one", "   - one\n", "   -   one\n"},
      {"", "   - \n", "   -   \n"},
      {"one\ntwo", "   - one\n        two\n", "   -   one\n          two\n"},
      // A final line feed ends the last line and starts no other.
      {"one\n", "   - one\n", "   -   one\n"},
      {"one\ntwo\n", "   - one\n        two\n", "   -   one\n          two\n"},
      {"\n", "   - \n", "   -   \n"},
      // Only the last line feed is absorbed: an empty line before it stays.
      {"one\n\n", "   - one\n        \n", "   -   one\n          \n"},
      {"one\n\ntwo", "   - one\n        \n        two\n",
       "   -   one\n          \n          two\n"},
  };
  for (const Case &c : cases) {
    std::string line, valueLine;
    appendHelpLine(line, c.help, 6, 8);
    appendValueHelpLine(valueLine, c.help, 6, 8);
    EXPECT_EQ(line, c.helpLine) << c.help;
    EXPECT_EQ(valueLine, c.valueHelpLine) << c.help;
  }
}

} // namespace

} // namespace ostrel
