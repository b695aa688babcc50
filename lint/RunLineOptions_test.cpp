#include "lint/RunLineOptions.h"

#include <gtest/gtest.h>

namespace {

std::string joined(const std::vector<std::string> &values) {
  std::string text;
  for (const std::string &value : values)
    text += (text.empty() ? "" : " ") + value;
  return text;
}

TEST(RunLineOptionsTest, TakesOnlyWhatIsGivenToOstrel) {
  struct Case {
    std::vector<TextRef> lines;
    const char *prefixes;
    const char *defines;
  };
  const Case cases[] = {
      {{"ostrel %s --check-prefix=A -check-prefix B"}, "A B", ""},
      {{"gen %s | ostrel %s --check-prefixes=A,B,A -DX=1 -D #N=2"}, "A B", "X=1 #N=2"},
      {{"/usr/bin/ostrel %s '--check-prefixes=C,D'"}, "C D", ""},
      {{"ostrel %s \\", "  -check-prefix=E", "other --check-prefix=F"}, "E", ""},
      {{"other --check-prefix=F -DY=1 | ostrel-lint --check-prefix=G"}, "", ""},
      {{"ostrel %s; other --check-prefix=H && ostrel %s --check-prefix-x=I"}, "", ""},
      {{"ostrel %s --check-prefix"}, "", ""},
  };
  for (const Case &c : cases) {
    RunLineOptions found = optionsFromRunLines(c.lines);
    EXPECT_EQ(joined(found.checkPrefixes), c.prefixes) << c.lines.front();
    EXPECT_EQ(joined(found.defines), c.defines) << c.lines.front();
  }
}

} // namespace
