#include "lint/CheckSelection.h"

#include <gtest/gtest.h>

namespace ostrel {

namespace {

/// The state of a check as "off", "warning" or "error".
std::string stateOf(const CheckSelection &selection, LintCheck check) {
  if (!selection.enabled(check))
    return "off";
  return selection.severity(check) == DiagSeverity::Error ? "error" : "warning";
}

TEST(CheckSelectionTest, LaterFlagsWin) {
  struct Case {
    std::vector<TextRef> flags;
    const char *emptyMatch;
    const char *checkFileError;
  };
  const Case cases[] = {
      {{}, "warning", "error"},
      {{"no-empty-match"}, "off", "error"},
      {{"no-empty-match", "empty-match"}, "warning", "error"},
      {{"no-empty-match", "no-check-file-error", "all"}, "warning", "error"},
      {{"error"}, "error", "error"},
      {{"error", "no-error"}, "warning", "error"},
      {{"error=empty-match"}, "error", "error"},
      {{"no-empty-match", "error=empty-match"}, "error", "error"},
      {{"error=empty-match", "no-error=empty-match"}, "warning", "error"},
      {{"error=empty-match", "no-empty-match"}, "off", "error"},
  };
  for (const Case &c : cases) {
    CheckSelection selection;
    for (TextRef flag : c.flags)
      EXPECT_EQ(selection.apply(flag), "");
    EXPECT_EQ(stateOf(selection, LintCheck::EmptyMatch), c.emptyMatch);
    EXPECT_EQ(stateOf(selection, LintCheck::CheckFileError), c.checkFileError);
  }
}

TEST(CheckSelectionTest, AnUnknownNameListsTheChecks) {
  CheckSelection selection;
  for (TextRef flag : {"empty-matches", "no-nothing", "error=x"}) {
    std::string message = selection.apply(flag);
    EXPECT_TRUE(message.starts_with("unknown check '")) << flag;
    EXPECT_NE(message.find("; the checks are: misspelled-directive bad-count"), std::string::npos)
        << message;
    EXPECT_TRUE(message.ends_with(" unused-suppression")) << message;
  }
  EXPECT_EQ(stateOf(selection, LintCheck::EmptyMatch), "warning");
}

} // namespace

} // namespace ostrel
