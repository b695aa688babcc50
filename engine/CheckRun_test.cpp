#include "engine/CheckRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace ostrel {

namespace {

TEST(CheckRunTest, StatusAndReportsOfARunInMemory) {
  const struct {
    const char *check;
    const char *input;
    const char *prefix;
    RunStatus status;
    const char *reports;
  } cases[] = {
      {"CHECK: a\n", "a\n", nullptr, RunStatus::Passed, ""},
      {"CHECK: b\n", "a\n", nullptr, RunStatus::Failed,
       "check.txt:1:8: error: CHECK: expected string not found in input\n"
       "CHECK: b\n"
       "       ^\n"
       "input.txt:1:1: note: scanning from here\n"
       "a\n"
       "^\n"},
      {"CHECK: a\n", "a\n", "N@", RunStatus::Rejected,
       "error: supplied check prefix must start with a letter and contain only alphanumeric "
       "characters, hyphens, and underscores: 'N@'\n"},
      {"CHECK-NEXT: a\n", "a\n", nullptr, RunStatus::Rejected,
       "check.txt:1:1: error: found 'CHECK-NEXT' without previous 'CHECK: line\n"
       "CHECK-NEXT: a\n"
       "^\n"},
  };
  for (const auto &c : cases) {
    CheckOptions options;
    if (c.prefix)
      options.checkPrefixes = {c.prefix};
    DiagnosticRecorder reports;
    CheckRun run(options, reports);
    EXPECT_EQ(run.runTexts({.checkText = c.check, .input = c.input}), c.status) << c.check;
    EXPECT_EQ(reports.printed(), c.reports) << c.check;
  }
}

TEST(CheckRunTest, ReportsComeWithTheirKind) {
  const struct {
    const char *check;
    const char *input;
    DiagnosticKind kind;
  } cases[] = {
      {"CHECK-NEXT: a\n", "a\n", DiagnosticKind::LineRuleFirst},
      {"CHECK-COUNT-0: a\n", "a\n", DiagnosticKind::InvalidCount},
      {"CHECK-LABEL: [[X:a]]\n", "a\n", DiagnosticKind::LabelWithVariables},
      {"CHECK:\n", "a\n", DiagnosticKind::EmptyPattern},
      {"CHECK: {{(}}\n", "a\n", DiagnosticKind::InvalidPattern},
      {"CHECK: [[#N:]] [[#N+1]]\n", "1 2\n", DiagnosticKind::SameDirectiveNumericUse},
      {"CHECK: [[#%.x]]\n", "1\n", DiagnosticKind::InvalidNumericBlock},
      {"COM: nothing\n", "a\n", DiagnosticKind::NoCheckStrings},
      {"CHECK: b\n", "a\n", DiagnosticKind::ExpectedNotFound},
      {"CHECK-NOT: a\n", "a\n", DiagnosticKind::ExcludedFound},
      {"CHECK: a\nCHECK-SAME: b\n", "a\nb\n", DiagnosticKind::WrongLine},
      {"CHECK: [[X]]\n", "a\n", DiagnosticKind::SubstitutionFailed},
  };
  for (const auto &c : cases) {
    DiagnosticRecorder reports;
    CheckRun(CheckOptions(), reports).runTexts({.checkText = c.check, .input = c.input});
    ASSERT_FALSE(reports.reports().empty()) << c.check;
    EXPECT_EQ(reports.reports().front().kind, c.kind) << c.check << reports.printed();
  }
}

TEST(CheckRunTest, TextsArePreparedAsTheirFormSays) {
  // Only a text that is not prepared yet, or that may not end with a NUL,
  // is copied.
  const std::string prepared = "a b\n";
  const std::string unprepared = "a  b\r\n";
  const struct {
    const std::string &input;
    TextForm form;
    bool copied;
    const char *checked;
  } cases[] = {
      {prepared, TextForm::Raw, true, "a b\n"},
      {prepared, TextForm::RawWithNul, false, "a b\n"},
      {unprepared, TextForm::RawWithNul, true, "a b\n"},
      {unprepared, TextForm::Prepared, false, "a  b\r\n"},
  };
  for (const auto &c : cases) {
    DiagnosticRecorder reports;
    CheckRun run(CheckOptions(), reports);
    EXPECT_EQ(run.runTexts({.checkText = "CHECK: a\n", .input = c.input, .inputForm = c.form}),
              RunStatus::Passed)
        << reports.printed();
    EXPECT_EQ(run.input(), c.checked);
    EXPECT_EQ(run.input().data() != c.input.data(), c.copied) << c.input;
  }
}

/// A buffer named `name` holding `text`.
std::unique_ptr<OwnedFileBuffer> bufferOf(const std::string &text, TextRef name) {
  std::unique_ptr<OwnedFileBuffer> buffer = allocateBuffer(text.size(), name);
  std::copy(text.begin(), text.end(), buffer->mutableStart());
  return buffer;
}

TEST(CheckRunTest, FilesAreReadInPlaceAndALargeCheckFileIsStreamed) {
  std::string check;
  std::string input;
  // Large once prepared, which drops a carriage return and a blank a line.
  while (check.size() < 2 * CheckEngine::largeCheckText) {
    check += "CHECK:  line\r\n";
    input += "line\n";
  }
  check += "CHECK: end\n";
  input += "fin\n";
  CheckOptions options;
  options.implicitCheckNot = {"never"};
  DiagnosticRecorder reports;
  CheckRun run(options, reports);
  run.keepEngineUntilExit();
  ASSERT_FALSE(run.checkPrefixes());
  ErrorValue rejected = run.readCheckFile(bufferOf(check, "big.check"));
  EXPECT_FALSE(rejected) << reports.printed();
  dropError(std::move(rejected));
  EXPECT_TRUE(run.engine().steps().empty());
  EXPECT_EQ(run.registry().buffer(run.checkBufferId()).bufferName(), "big.check");
  std::pair<unsigned, unsigned> implicit = run.implicitBufferRange();
  EXPECT_EQ(implicit.second - implicit.first, 1u);

  // Every line passes but the last.
  std::vector<MatchDiag> records;
  ErrorValue failed = run.verifyFile(bufferOf(input, "big.input"), &records);
  EXPECT_TRUE(failed);
  dropError(std::move(failed));
  EXPECT_EQ(run.input().size(), input.size());
  EXPECT_TRUE(std::any_of(records.begin(), records.end(), [](const MatchDiag &record) {
    return record.outcome == MatchOutcome::ExpectedNotFound;
  }));
}

} // namespace

} // namespace ostrel
