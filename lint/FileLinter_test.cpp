#include "lint/FileLinter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

/// One finding as a test states it: the check, the column (1-based) and the
/// message.
struct Expected {
  LintCheck check;
  unsigned column;
  std::string message;
};

class FileLinterTest : public testing::Test {
protected:
  std::vector<Finding> lint(TextRef text) {
    registry = std::make_unique<SourceRegistry>();
    store.clear();
    return lintCheckFile(settings, text, "test.check", *registry, store).findings;
  }

  unsigned columnOf(const Finding &finding) const {
    return registry->lineColumnOf(finding.location).second;
  }

  LintSettings settings;
  std::unique_ptr<SourceRegistry> registry;
  std::string store;
};

std::string describe(const std::vector<Finding> &findings) {
  std::string text;
  for (const Finding &finding : findings)
    text += std::string(checkName(finding.check)) + ": " + finding.message + "\n";
  return text;
}

// Lines that check less than they seem to, each linted as a file of its own
// after a directive that makes the file a check file.
struct NearMiss {
  const char *line;
  Expected finding;
};

const NearMiss nearMisses[] = {
    {"CHEKC: zzz",
     {LintCheck::MisspelledDirective, 1, "'CHEKC:' is not a directive; did you mean 'CHECK:'?"}},
    {"CHECK-NXT: zzz",
     {LintCheck::MisspelledDirective, 1,
      "'CHECK-NXT:' is not a directive; did you mean 'CHECK-NEXT:'?"}},
    {"CHECK-NEXT zzz",
     {LintCheck::MisspelledDirective, 1,
      "'CHECK-NEXT' is not a directive; did you mean 'CHECK-NEXT:'?"}},
    {"check-next: zzz",
     {LintCheck::MisspelledDirective, 1,
      "'check-next:' is not a directive; did you mean 'CHECK-NEXT:'?"}},
    {"Check-Label: zzz",
     {LintCheck::MisspelledDirective, 1,
      "'Check-Label:' is not a directive; did you mean 'CHECK-LABEL:'?"}},
    {"CHECK-LABLE: zzz",
     {LintCheck::MisspelledDirective, 1,
      "'CHECK-LABLE:' is not a directive; did you mean 'CHECK-LABEL:'?"}},
    {"CHECK-NOT : alpha",
     {LintCheck::MisspelledDirective, 1,
      "'CHECK-NOT :' is not a directive; did you mean 'CHECK-NOT:'?"}},
    {"CHECK-SAME; zzz",
     {LintCheck::MisspelledDirective, 1,
      "'CHECK-SAME;' is not a directive; did you mean 'CHECK-SAME:'?"}},
    {"CHECK_NXT: zzz",
     {LintCheck::MisspelledDirective, 1,
      "'CHECK_NXT:' is not a directive; did you mean 'CHECK-NEXT:'?"}},
    {"CHECK_NEXT: zzz",
     {LintCheck::MisspelledDirective, 1,
      "'CHECK_NEXT:' is not a directive; did you mean 'CHECK-NEXT:'?"}},
    {"CHECKNEXT: zzz",
     {LintCheck::MisspelledDirective, 1,
      "'CHECKNEXT:' is not a directive; did you mean 'CHECK-NEXT:'?"}},
    {"CHECK-EMTPY:",
     {LintCheck::MisspelledDirective, 1,
      "'CHECK-EMTPY:' is not a directive; did you mean 'CHECK-EMPTY:'?"}},
    {"; CHECK-DGA: zzz",
     {LintCheck::MisspelledDirective, 3,
      "'CHECK-DGA:' is not a directive; did you mean 'CHECK-DAG:'?"}},
    {"CHECK{LITERL}: zzz",
     {LintCheck::MisspelledDirective, 1,
      "'CHECK{LITERL}:' is not a directive; did you mean 'CHECK{LITERAL}:'?"}},
    {"CHECK-NEXT{LITERAL} zzz",
     {LintCheck::MisspelledDirective, 1,
      "'CHECK-NEXT{LITERAL} ' is not a directive; did you mean 'CHECK-NEXT{LITERAL}:'?"}},
    {"CHECK-COUNT: zzz",
     {LintCheck::BadCount, 1,
      "'CHECK-COUNT:' has no valid count; write 'CHECK-COUNT-<n>:' with <n> from 1 to "
      "2147483647"}},
    {"CHECK-COUNT-0: zzz",
     {LintCheck::BadCount, 1,
      "'CHECK-COUNT-0:' has no valid count; write 'CHECK-COUNT-<n>:' with <n> from 1 to "
      "2147483647"}},
    {"CHECK-COUNT-x: zzz",
     {LintCheck::BadCount, 1,
      "'CHECK-COUNT-x:' has no valid count; write 'CHECK-COUNT-<n>:' with <n> from 1 to "
      "2147483647"}},
    {"CHECK-COUNT-2147483648: zzz",
     {LintCheck::BadCount, 1,
      "'CHECK-COUNT-2147483648:' has no valid count; write 'CHECK-COUNT-<n>:' with <n> from 1 "
      "to 2147483647"}},
    {"CHECK-COUNT-3 zzz",
     {LintCheck::BadCount, 1,
      "'CHECK-COUNT-3' has no valid count; write 'CHECK-COUNT-<n>:' with <n> from 1 to "
      "2147483647"}},
    {"CHECK-COUNT2: zzz",
     {LintCheck::BadCount, 1,
      "'CHECK-COUNT2:' is not a directive; did you mean 'CHECK-COUNT-2:'?"}},
    {"CHECK: a{{\\d+}}",
     {LintCheck::RegexEscape, 11, "'\\d' matches the letter 'd'; use '[0-9]'"}},
    {"CHECK: {{[\\s,]}}",
     {LintCheck::RegexEscape, 11,
      "'\\s' in a bracket expression matches '\\' or the letter 's'; use '[:space:]'"}},
    {"CHECK: [[X:\\w+]] [[X]]",
     {LintCheck::RegexEscape, 12, "'\\w' matches the letter 'w'; use '[[:alnum:]_]'"}},
    {"CHECK: {{\\<}}word",
     {LintCheck::RegexEscape, 10, "'\\<' matches the character '<'; use '[[:<:]]'"}},
    {"CHECK: {{.*}}",
     {LintCheck::EmptyMatch, 8,
      "the pattern of 'CHECK:' can match the empty text, so the directive checks nothing"}},
    {"CHECK-NOT: {{y*}}",
     {LintCheck::EmptyMatch, 12,
      "the pattern of 'CHECK-NOT:' can match the empty text, so the directive always fails"}},
    {"CHECK-SAME: [[X:a*]][[X]]",
     {LintCheck::EmptyMatch, 13,
      "the pattern of 'CHECK-SAME:' can match the empty text, so the directive checks nothing"}},
    {"CHECK: [[X:foo]]",
     {LintCheck::UnusedVariable, 10,
      "variable 'X' is captured but no later directive uses it"}},
    {"CHECK: [[#N:]]",
     {LintCheck::UnusedVariable, 11,
      "variable 'N' is captured but no later directive uses it"}},
    {"CHECK: [[Y]]",
     {LintCheck::UndefinedVariable, 10,
      "variable 'Y' is not defined by an earlier directive or by -D"}},
    {"CHECK: [[#N+1]]",
     {LintCheck::UndefinedVariable, 11,
      "variable 'N' is not defined by an earlier directive or by -D"}},
    {"CHECK: [[#N:]] [[#N+1]]",
     {LintCheck::SameLineNumeric, 19,
      "numeric variable 'N' is defined and used in one directive, which ostrel rejects; use "
      "it in a 'CHECK-SAME:' directive on the next line"}},
    {"CHECK-DAG-NOT: x",
     {LintCheck::CheckFileError, 7, "unsupported -NOT combo on prefix 'CHECK'"}},
    {"CHECK: {{a(}}",
     {LintCheck::CheckFileError, 10, "invalid regex: parentheses not balanced"}},
};

TEST_F(FileLinterTest, FlagsNearMisses) {
  for (const NearMiss &nearMiss : nearMisses) {
    std::string text = std::string("CHECK: anchor\n") + nearMiss.line + "\n";
    std::vector<Finding> findings = lint(text);
    ASSERT_EQ(findings.size(), 1u) << nearMiss.line << "\n" << describe(findings);
    const Expected &expected = nearMiss.finding;
    EXPECT_EQ(checkName(findings[0].check), checkName(expected.check)) << nearMiss.line;
    EXPECT_EQ(findings[0].message, expected.message) << nearMiss.line;
    EXPECT_EQ(registry->lineColumnOf(findings[0].location),
              std::make_pair(2u, expected.column))
        << nearMiss.line;
  }
}

// Lines that resemble the near misses but say what they mean.
const char *const lookAlikes[] = {
    "// check: this is prose",
    "Check: the output below",
    "RUN: other %s --check-prefix=CHECK-FOO",
    "COM: CHEKC: is the typo this file is about",
    "CHECKSUM: 0x12",
    "CHECKED: yes",
    "CHECKER: foo",
    "CHECKS: all of them",
    "CHECK-FOO: another tool's prefix",
    "TODO: ID: ERROR: NOTE: WARNING:",
    "The CHECK-NEXT directive must follow a CHECK line",
    "xCHECK-NXT: x",
    "-CHECK-NXT: x",
    "CHECK: foo CHEKC: bar",
    "CHECK: \\d outside braces is text",
    "CHECK: {{\\\\d}} is a backslash and d",
    "CHECK{LITERAL}: {{\\d}}",
    "CHECK: {{^$}}",
    "CHECK: {{a+}}",
    "CHECK: [[X:foo]]\nCHECK: [[X]]",
    "CHECK: [[X:foo]] [[X]]",
    "CHECK: [[#N:]]\nCHECK-NEXT: [[#N+1]]",
    "CHECK: [[@LINE]] [[#@LINE+1]]",
    "CHECK-COUNT-2: x",
    "CHECK-EMPTY:",
};

TEST_F(FileLinterTest, LeavesLookAlikesAlone) {
  for (const char *line : lookAlikes) {
    std::string text = std::string("CHECK: anchor\n") + line + "\n";
    EXPECT_EQ(describe(lint(text)), "") << line;
  }
}

TEST_F(FileLinterTest, RunLinesAddTheirPrefixesAndDefinitions) {
  std::vector<Finding> findings = lint("RUN: gen | ostrel %s --check-prefixes=ONE,TWO -DV=1 \\\n"
                                       "RUN:   -check-prefix THREE\n"
                                       "ONE: [[V]]\n"
                                       "TWO: a\n"
                                       "TWO-NXT: b\n"
                                       "THREE-LABEL: c\n"
                                       "FOUR-NXT: d\n");
  ASSERT_EQ(findings.size(), 1u) << describe(findings);
  EXPECT_EQ(findings[0].message, "'TWO-NXT:' is not a directive; did you mean 'TWO-NEXT:'?");

  // Given prefixes replace the RUN: lines' ones.
  settings.checkPrefixes = {"FOUR"};
  findings = lint("RUN: ostrel %s --check-prefix=ONE\nONE-NXT: x\nFOUR-NXT: d\n");
  ASSERT_EQ(findings.size(), 1u) << describe(findings);
  EXPECT_EQ(findings[0].message, "'FOUR-NXT:' is not a directive; did you mean 'FOUR-NEXT:'?");
}

TEST_F(FileLinterTest, VariablesFollowTheCheckersScopes) {
  const char *text = "CHECK: [[X:a]] [[$G:b]]\n"
                     "CHECK-LABEL: block\n"
                     "CHECK: [[X]] [[$G]] [[D]]\n";
  settings.defines = {"D=1"};
  EXPECT_EQ(describe(lint(text)), "");

  settings.enableVarScope = true;
  EXPECT_EQ(describe(lint(text)),
            "unused-variable: variable 'X' is captured but no later directive uses it before its "
            "CHECK-LABEL block ends\n"
            "undefined-variable: variable 'X' is not defined by an earlier directive or by -D\n"
            "undefined-variable: variable 'D' is not defined by an earlier directive or by -D\n");
}

TEST_F(FileLinterTest, ACaptureOverwrittenUnusedIsFlagged) {
  EXPECT_EQ(describe(lint("CHECK: [[X:a]]\nCHECK-DAG: [[X:b]]\nCHECK-NOT: [[X]]\n")),
            "unused-variable: variable 'X' is captured but no later directive uses it before it "
            "is captured again\n");
}

TEST_F(FileLinterTest, FilesWithoutDirectivesAreNotCheckFiles) {
  for (const char *text : {"plain text\n", "RUN: echo\nCOM: nothing to check\n", ""}) {
    registry = std::make_unique<SourceRegistry>();
    EXPECT_FALSE(lintCheckFile(settings, text, "t", *registry, store).isCheckFile) << text;
  }
  registry = std::make_unique<SourceRegistry>();
  EXPECT_TRUE(lintCheckFile(settings, "CHEKC: x\n", "t", *registry, store).isCheckFile);
}

} // namespace
