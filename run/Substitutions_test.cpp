#include "run/Substitutions.h"

#include <gtest/gtest.h>

namespace ostrel {

namespace {

TEST(SubstitutionsTest, TheLongestNameWinsAndReplacementsAreNotSearchedAgain) {
  Substitutions table;
  table.set("%s", "FILE");
  table.set("%S", "DIR");
  table.set("%%", "%");
  table.set("%cc", "gcc %s");
  table.set("%c", "C");
  struct Case {
    const char *command;
    const char *expected;
  } cases[] = {
      {"%cc %s", "gcc %s FILE"}, {"%c %S/x", "C DIR/x"}, {"%%s", "%s"},
      {"100%% %q %", "100% %q %"}, {"", ""},          {"%%%s", "%FILE"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(table.apply(c.command), c.expected) << c.command;
  table.set("%c", "changed");
  EXPECT_EQ(table.apply("%c%cc"), "changedgcc %s");
}

TEST(SubstitutionsTest, ShellQuoteMakesOneWord) {
  struct Case {
    const char *text;
    const char *quoted;
  } cases[] = {
      {"/a/b-c_d.test", "/a/b-c_d.test"},
      {"a b", "'a b'"},
      {"it's", "'it'\\''s'"},
      {"$(rm -rf x)", "'$(rm -rf x)'"},
      {"", "''"},
      {"a\nb", "'a\nb'"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(shellQuote(c.text), c.quoted) << c.text;
}

} // namespace

} // namespace ostrel
