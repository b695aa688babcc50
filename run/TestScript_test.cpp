#include "run/TestScript.h"

#include <gtest/gtest.h>

namespace ostrel {

namespace {

using Words = std::vector<std::string>;

TEST(TestScriptTest, ReadsRunLinesAfterAnyCommentLeader) {
  TestScript script = readTestScript("; RUN: one %s\n"
                                     "// RUN:two\n"
                                     "#   RUN:   three  \n"
                                     "XRUN: glued to a word\n"
                                     "RUN-NOT: not a run line\n"
                                     "text RUN: four\n");
  EXPECT_EQ(script.commands, (Words{"one %s", "two", "three", "four"}));
  EXPECT_FALSE(script.danglingContinuation);
}

TEST(TestScriptTest, ABackslashContinuesOnTheNextRunLine) {
  TestScript script = readTestScript("; RUN: gen a \\\n"
                                     "; not a run line\n"
                                     "; RUN:   | ostrel %s \\\n"
                                     "; RUN:   --strict-whitespace\n"
                                     "; RUN: second\n"
                                     "; RUN: dangling \\\n");
  EXPECT_EQ(script.commands,
            (Words{"gen a | ostrel %s --strict-whitespace", "second", "dangling"}));
  EXPECT_TRUE(script.danglingContinuation);
}

TEST(TestScriptTest, MarkersCollectTheirFeatures) {
  TestScript script = readTestScript("; REQUIRES: x86, linux\n"
                                     "; REQUIRES: asserts\n"
                                     "; UNSUPPORTED: windows,,  \n"
                                     "; XFAIL: *\n"
                                     "; RUN: true\n");
  EXPECT_EQ(script.requires_, (Words{"x86", "linux", "asserts"}));
  EXPECT_EQ(script.unsupported, (Words{"windows"}));
  EXPECT_EQ(script.xfail, (Words{"*"}));
}

TEST(TestScriptTest, HoldsRunLineAgreesWithTheReader) {
  for (const char *text : {"", "RUN:", "no colon", "a: b\nc: d\n", "XRUN: x", "; REQUIRES: a\n",
                           "x\n\n// RUN: y", "RUN:\n", "a:b RUN: c"})
    EXPECT_EQ(holdsRunLine(text), !readTestScript(text).commands.empty()) << text;
}

} // namespace

} // namespace ostrel
