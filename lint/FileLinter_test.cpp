#include "lint/FileLinter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ostrel {

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

  CheckOptions settings;
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
    {"CHECK-NOTE: zzz",
     {LintCheck::MisspelledDirective, 1,
      "'CHECK-NOTE:' is not a directive; did you mean 'CHECK-NOT:'?"}},
    {"CHECK-NEXT-LINE: zzz",
     {LintCheck::MisspelledDirective, 1,
      "'CHECK-NEXT-LINE:' is not a directive; did you mean 'CHECK-NEXT:'?"}},
    {"CHECK-: zzz",
     {LintCheck::MisspelledDirective, 1, "'CHECK-:' is not a directive; did you mean 'CHECK:'?"}},
    {"CHECK-NOT-DAG{LITERAL}: zzz",
     {LintCheck::MisspelledDirective, 1,
      "'CHECK-NOT-DAG{LITERAL}:' is not a directive; did you mean 'CHECK-NOT{LITERAL}:'?"}},
    {"CHECK-NEXT\xEF\xBC\x9A zzz",
     {LintCheck::MisspelledDirective, 1,
      "'CHECK-NEXT\xEF\xBC\x9A' is not a directive; did you mean 'CHECK-NEXT:'?"}},
    {"--CHECK: zzz",
     {LintCheck::MisspelledDirective, 1, "'--CHECK:' is not a directive; did you mean '-- CHECK:'?"}},
    {"CHECK: {{\\t}}",
     {LintCheck::RegexEscape, 10, "'\\t' matches the letter 't'; use '[[:blank:]]' for a tab or a blank"}},
    {"CHECK: {{\\n}}",
     {LintCheck::RegexEscape, 10,
      "'\\n' matches the letter 'n'; a pattern matches within one line; match the next line "
      "with a -NEXT directive"}},
    {"CHECK: {{\\x41}}",
     {LintCheck::RegexEscape, 10, "'\\x' matches the letter 'x'; write the character itself"}},
    // Columns count the line as written, not with its blanks folded.
    {"// CHECK:       popcntl %edi, %e{{\\w+}}",
     {LintCheck::RegexEscape, 35, "'\\w' matches the letter 'w'; use '[[:alnum:]_]'"}},
    {"CHECK:\t\t{{\\d}}",
     {LintCheck::RegexEscape, 11, "'\\d' matches the letter 'd'; use '[0-9]'"}},
    {"RUN: ostrel %s --check-prefixes=CHECK,WIN",
     {LintCheck::CheckFileError, 39, "no check strings found with prefix 'WIN:'"}},
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
    "check_next:",
    "check_next: 2",
    "  check_next:\tmovl %eax, %ebx",
    "# Use CHECK-NEXT{LITERAL}, not a plain CHECK-NEXT, for braces",
    "CHECK-FOO-BAR: another tool's prefix",
    "-- CHECK: x",
    "CHECK: {{\\\\t}} is a backslash and t",
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

TEST_F(FileLinterTest, ARejectedDirectiveHidesNothingBeforeOrAfterIt) {
  EXPECT_EQ(describe(lint("CHECK-DAG: {{\\d+}}\n"
                          "CHECK-NOT: {{\\s}}\n"
                          "CHECK-COUNT-0: bad\n"
                          "CHECK: {{a(}}\n"
                          "CHECK-NEXT: [[X:x]]\n"
                          "CHECK-DAG-NOT: y\n"
                          "CHECK: {{\\w}} [[X]] [[Y]]\n")),
            "regex-escape: '\\d' matches the letter 'd'; use '[0-9]'\n"
            "regex-escape: '\\s' matches the letter 's'; use '[[:space:]]'\n"
            "bad-count: 'CHECK-COUNT-0:' has no valid count; write 'CHECK-COUNT-<n>:' with <n> "
            "from 1 to 2147483647\n"
            "check-file-error: invalid regex: parentheses not balanced\n"
            "check-file-error: unsupported -NOT combo on prefix 'CHECK'\n"
            "regex-escape: '\\w' matches the letter 'w'; use '[[:alnum:]_]'\n"
            "undefined-variable: variable 'Y' is not defined by an earlier directive or by -D\n");

  // A variable whose definition or use was in a skipped directive is not
  // reported on the strength of what is left.
  EXPECT_EQ(describe(lint("CHECK: [[Z:z]] {{a(}}\nCHECK: [[Z]]\n"
                          "CHECK: [[W:w]]\nCHECK-NOT: [[W]] {{b(}}\n")),
            "check-file-error: invalid regex: parentheses not balanced\n"
            "check-file-error: invalid regex: parentheses not balanced\n");
}

TEST_F(FileLinterTest, EachCallOfOstrelIsLintedWithItsOwnOptions) {
  // WIN is given but unused; CHECK is read by the first call only; the
  // second call forgets X at the label.
  EXPECT_EQ(describe(lint("RUN: ostrel %s --check-prefixes=CHECK,WIN\n"
                          "RUN: %ostrel %s --check-prefix=A --enable-var-scope\n"
                          "CHECK: x\n"
                          "A: [[X:y]]\n"
                          "A-LABEL: l\n"
                          "A: [[X]]\n")),
            "check-file-error: no check strings found with prefix 'WIN:'\n"
            "unused-variable: variable 'X' is captured but no later directive uses it before "
            "its CHECK-LABEL block ends\n"
            "undefined-variable: variable 'X' is not defined by an earlier directive or by -D\n");

  // A call that allows unused prefixes, and a prefix that no call reads.
  EXPECT_EQ(describe(lint("RUN: ostrel %s --check-prefixes=A,B --allow-unused-prefixes\n"
                          "A: a\n"
                          "CHECK: dead\n")),
            "dead-directive: 'CHECK:' is never checked: no RUN: line gives the prefix 'CHECK' to "
            "ostrel\n");

  // The linter's own prefixes stand for every call.
  settings.checkPrefixes = {"A", "B"};
  EXPECT_EQ(describe(lint("RUN: ostrel %s --check-prefix=A\nA: a\n")),
            "check-file-error: no check strings found with prefix 'B:'\n");
  settings.allowUnusedPrefixes = true;
  EXPECT_EQ(describe(lint("RUN: ostrel %s --check-prefix=A\nA: a\n")), "");
}

TEST_F(FileLinterTest, SuppressionCommentsSilenceTheirChecks) {
  EXPECT_EQ(describe(lint("CHECK: anchor\n"
                          "COM: ostrel-lint: ignore regex-escape, empty-match\n"
                          "COM: ostrel-lint: ignore unused-variable\n"
                          "CHECK: [[X:.*]]{{\\d*}}\n"
                          "CHECK: {{\\d}}\n"
                          "COM: ostrel-lint: ignore-file misspelled-directive\n"
                          "CHEKC: x\n")),
            "regex-escape: '\\d' matches the letter 'd'; use '[0-9]'\n");

  EXPECT_EQ(describe(lint("CHECK: anchor\n"
                          "COM: ostrel-lint: ignore empty-match\n"
                          "CHECK: a\n"
                          "COM: ostrel-lint: ignore-file bad-count no-such-check\n"
                          "COM: ostrel-lint: silence empty-match\n"
                          "COM: ostrel-lint: ignore\n")),
            "unused-suppression: nothing to ignore: no empty-match finding on the line below\n"
            "unused-suppression: nothing to ignore: no bad-count finding in the file\n"
            "unused-suppression: no check is named 'no-such-check'\n"
            "unused-suppression: 'ostrel-lint: silence' is not a suppression; write 'ignore "
            "<check>' or 'ignore-file <check>'\n"
            "unused-suppression: the suppression names no check to ignore\n");
}

TEST_F(FileLinterTest, MechanicalFixesRepairTheLineAsWritten) {
  struct Case {
    const char *line;
    const char *fixed;
  };
  const Case cases[] = {
      {"CHECK_NEXT: a", "CHECK-NEXT: a"},
      {"CHECK-DAG   : b", "CHECK-DAG: b"},
      {"CHECK-SAME; c", "CHECK-SAME: c"},
      {"CHECK-NEXT d", "CHECK-NEXT: d"},
      {"CHECK-NEXT\xEF\xBC\x9A e", "CHECK-NEXT: e"},
      {"--CHECK: f", "-- CHECK: f"},
      {"CHECK:\t{{\\d+}} {{\\s}} {{\\w}}", "CHECK:\t{{[0-9]+}} {{[[:space:]]}} {{[[:alnum:]_]}}"},
      {"CHECK: {{[\\d,]}}", "CHECK: {{[0-9,]}}"},
      // Guesses and escapes inside a definition are left to the author.
      {"CHEKC: g", "CHEKC: g"},
      {"CHECK: [[X:\\d]] [[X]]", "CHECK: [[X:\\d]] [[X]]"},
      {"CHECK: {{\\b}}", "CHECK: {{\\b}}"},
  };
  for (const Case &c : cases) {
    std::string text = std::string("CHECK: anchor\n") + c.line + "\n";
    std::string fixed = text;
    std::vector<Finding> findings = lint(text);
    // From the last, so that earlier places stay put.
    for (auto finding = findings.rbegin(); finding != findings.rend(); ++finding) {
      if (!finding->fix)
        continue;
      size_t start = static_cast<size_t>(finding->fix->range.start - registry->buffer(1).bufferStart());
      size_t end = static_cast<size_t>(finding->fix->range.end - registry->buffer(1).bufferStart());
      fixed.replace(start, end - start, finding->fix->replacement);
    }
    EXPECT_EQ(fixed, std::string("CHECK: anchor\n") + c.fixed + "\n") << c.line;
  }
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

} // namespace ostrel
