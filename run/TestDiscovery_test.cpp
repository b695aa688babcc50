#include "run/TestDiscovery.h"

#include <gtest/gtest.h>

namespace ostrel {

namespace {

TEST(TestDiscoveryTest, ExcludeGlobs) {
  struct Case {
    const char *pattern;
    const char *relative;
    bool isFolder;
    bool matches;
  } cases[] = {
      {"Inputs/", "Inputs", true, true},
      {"Inputs/", "a/b/Inputs", true, true},
      {"Inputs/", "Inputs", false, false},
      {"*.txt", "notes.txt", false, true},
      {"*.txt", "deep/er/notes.txt", false, true},
      {"*.txt", "notes.txt.test", false, false},
      {"sub/*.ll", "sub/a.ll", false, true},
      {"sub/*.ll", "other/sub/a.ll", false, false},
      {"sub/*.ll", "sub/deeper/a.ll", false, false},
      {"/", "anything", true, false},
  };
  for (const Case &c : cases)
    EXPECT_EQ(excludeGlobMatches(c.pattern, c.relative, c.isFolder), c.matches)
        << c.pattern << " " << c.relative;
}

} // namespace

} // namespace ostrel
