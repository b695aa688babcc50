#include "lint/RunLineOptions.h"

#include <gtest/gtest.h>

namespace ostrel {

namespace {

std::string joined(const std::vector<std::string> &values) {
  std::string text;
  for (const std::string &value : values)
    text += (text.empty() ? "" : " ") + value;
  return text;
}

/// Each call's values in brackets, the calls one after another.
std::string describe(const std::vector<CheckerCall> &calls,
                     std::vector<std::string> CheckerCall::*values) {
  std::string text;
  for (const CheckerCall &call : calls)
    text += "[" + joined(call.*values) + "]";
  return text;
}

TEST(RunLineOptionsTest, TakesOnlyWhatIsGivenToOstrel) {
  struct Case {
    std::vector<TextRef> lines;
    const char *prefixes;
    const char *defines;
  };
  const Case cases[] = {
      {{"ostrel %s --check-prefix=A -check-prefix B"}, "[A B]", "[]"},
      {{"gen %s | ostrel %s --check-prefixes=A,B,A -DX=1 -D #N=2"}, "[A B]", "[X=1 #N=2]"},
      {{"/usr/bin/ostrel %s '--check-prefixes=C,D'"}, "[C D]", "[]"},
      {{"ostrel %s \\", "  -check-prefix=E", "other --check-prefix=F"}, "[E]", "[]"},
      {{"other --check-prefix=F -DY=1 | ostrel-lint --check-prefix=G"}, "", ""},
      {{"ostrel %s; other --check-prefix=H && ostrel %s --check-prefix-x=I"}, "[][]", "[][]"},
      {{"ostrel %s --check-prefix"}, "[]", "[]"},
      {{"%ostrel --check-prefix=A", "%{ostrel} -DX=1", "%(ostrel) -check-prefix B"},
       "[A][][B]",
       "[][X=1][]"},
      {{"%ostrel-lint --check-prefix=A", "%{other} --check-prefix=B"}, "", ""},
  };
  for (const Case &c : cases) {
    std::vector<CheckerCall> calls = checkerCalls(c.lines);
    EXPECT_EQ(describe(calls, &CheckerCall::checkPrefixes), c.prefixes) << c.lines.front();
    EXPECT_EQ(describe(calls, &CheckerCall::defines), c.defines) << c.lines.front();
  }
}

TEST(RunLineOptionsTest, EachCallKeepsItsReadingOptionsAndLines) {
  std::vector<TextRef> lines = {"ostrel %s --enable-var-scope -match-full-lines \\",
                                "  --allow-unused-prefixes=false",
                                "ostrel %s --allow-unused-prefixes | ostrel %s"};
  std::vector<CheckerCall> calls = checkerCalls(lines);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_TRUE(calls[0].enableVarScope);
  EXPECT_TRUE(calls[0].matchFullLines);
  EXPECT_FALSE(calls[0].allowUnusedPrefixes);
  EXPECT_EQ(calls[0].lines.size(), 2u);
  EXPECT_TRUE(calls[1].allowUnusedPrefixes);
  EXPECT_FALSE(calls[1].enableVarScope);
  EXPECT_FALSE(calls[2].allowUnusedPrefixes);
  EXPECT_EQ(calls[2].lines.front().data(), lines[2].data());
}

} // namespace

} // namespace ostrel
