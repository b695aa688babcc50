#include "engine/MatchReporter.h"

#include "engine/CheckRunTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace ostrel {

TEST(MatchReporterTest, QuietRunPrintsNothing) {
  TestRun run;
  EXPECT_TRUE(run.run("CHECK: a\nCHECK-NOT: x\nCHECK: [[V:b]]\n", "a b\n").passed);
  EXPECT_EQ(run.errors, "");
}

TEST(MatchReporterTest, VerboseReportsMatchesAndCapturesInInputOrder) {
  TestRun run;
  run.options.verbose = true;
  EXPECT_TRUE(run.run("CHECK: [[B:b]] [[A:a]]\n", "b a\n").passed);
  EXPECT_EQ(run.errors,
            "check.txt:1:8: remark: CHECK: expected string found in input\n"
            "CHECK: [[B:b]] [[A:a]]\n"
            "       ^\n"
            "input.txt:1:1: note: found here\n"
            "b a\n"
            "^~~\n"
            "input.txt:1:1: note: captured var \"B\"\n"
            "b a\n"
            "^\n"
            "input.txt:1:3: note: captured var \"A\"\n"
            "b a\n"
            "  ^\n");
}

TEST(MatchReporterTest, VeryVerboseReportsAbsentNotPatternsAndTheEnd) {
  TestRun run;
  run.options.verbose = run.options.veryVerbose = true;
  EXPECT_TRUE(run.run("CHECK: a\nCHECK-NOT: x\n", "a\n").passed);
  EXPECT_EQ(run.errors,
            "check.txt:1:8: remark: CHECK: expected string found in input\n"
            "CHECK: a\n"
            "       ^\n"
            "input.txt:1:1: note: found here\n"
            "a\n"
            "^\n"
            "check.txt:2:13: remark: implicit EOF: expected string found in input\n"
            "CHECK-NOT: x\n"
            "            ^\n"
            "input.txt:2:1: note: found here\n"
            "\n"
            "^\n"
            "check.txt:2:12: remark: CHECK-NOT: excluded string not found in input\n"
            "CHECK-NOT: x\n"
            "           ^\n"
            "input.txt:1:2: note: scanning from here\n"
            "a\n"
            " ^\n");
}

TEST(MatchReporterTest, NotFoundNamesTheDirectiveAndTheCount) {
  TestRun count;
  EXPECT_FALSE(count.run("CHECK-COUNT-4: x\n", "x\nx\ny\n").passed);
  EXPECT_EQ(count.errors,
            "check.txt:1:16: error: CHECK-COUNT: expected string not found in input (3 out of 4)\n"
            "CHECK-COUNT-4: x\n"
            "               ^\n"
            "input.txt:2:2: note: scanning from here\n"
            "x\n"
            " ^\n");

  TestRun single;
  EXPECT_FALSE(single.run("CHECK-COUNT-1: x\n", "y\n").passed);
  EXPECT_EQ(single.errors.substr(0, single.errors.find('\n')),
            "check.txt:1:16: error: CHECK: expected string not found in input");

  TestRun literal;
  EXPECT_FALSE(literal.run("CHECK: a\nCHECK-NEXT{LITERAL}: [[b]]\n", "a\n[[c]]\n").passed);
  EXPECT_EQ(literal.errors,
            "check.txt:2:22: error: CHECK-NEXT{LITERAL}: expected string not found in input\n"
            "CHECK-NEXT{LITERAL}: [[b]]\n"
            "                     ^\n"
            "input.txt:1:2: note: scanning from here\n"
            "a\n"
            " ^\n"
            "input.txt:2:1: note: possible intended match here\n"
            "[[c]]\n"
            "^\n");
}

TEST(MatchReporterTest, SubstitutionNotesShowTheEscapedValue) {
  TestRun run;
  EXPECT_FALSE(run.run("CHECK: [[X:a.b]]\nCHECK: [[X]]!\n", "a.b\nzzz\n").passed);
  EXPECT_EQ(run.errors,
            "check.txt:2:8: error: CHECK: expected string not found in input\n"
            "CHECK: [[X]]!\n"
            "       ^\n"
            "input.txt:1:4: note: scanning from here\n"
            "a.b\n"
            "   ^\n"
            "input.txt:1:4: note: with \"X\" equal to \"a\\\\.b\"\n"
            "a.b\n"
            "   ^\n");
}

TEST(MatchReporterTest, NumericSubstitutionNotesShowTheComputedValue) {
  TestRun run;
  EXPECT_FALSE(run.run("CHECK: n=[[#N:]]\nCHECK: line [[#@LINE+N]]\n", "n=3\nline 4\n").passed);
  EXPECT_NE(run.errors.find("input.txt:1:4: note: with \"@LINE+N\" equal to \"5\"\n"),
            std::string::npos)
      << run.errors;
}

TEST(MatchReporterTest, UndefinedVariableIsTheOnlyError) {
  TestRun run;
  EXPECT_FALSE(run.run("CHECK: a[[X]]\n", "x\nab\n").passed);
  EXPECT_EQ(run.errors,
            "check.txt:1:11: error: undefined variable: X\n"
            "CHECK: a[[X]]\n"
            "          ^\n"
            "input.txt:2:1: note: possible intended match here\n"
            "ab\n"
            "^\n");

  TestRun recorded;
  EXPECT_FALSE(recorded.run("CHECK-NOT: [[Y]]\nCHECK: a\n", "a\n", true).passed);
  ASSERT_EQ(recorded.records.size(), 2u);
  EXPECT_EQ(recorded.records[0].outcome, MatchOutcome::InvalidPattern);
  EXPECT_EQ(recorded.records[1].outcome, MatchOutcome::InvalidPattern);
  EXPECT_EQ(recorded.records[1].note, "undefined variable: Y");
  EXPECT_EQ(recorded.records[1].inputStartColumn, recorded.records[1].inputEndColumn);
  // No fuzzy note for a NOT pattern.
  EXPECT_EQ(recorded.errors.find("possible intended"), std::string::npos);

  // The failures come in the order of the substitutions, whatever their kind
  // (an expression with two unknown names fails with both of them).
  TestRun ordered;
  EXPECT_FALSE(ordered.run("CHECK: [[#A+B]] [[X]]\n", "1 x\n").passed);
  size_t a = ordered.errors.find("undefined variable: A");
  size_t b = ordered.errors.find("undefined variable: B");
  size_t x = ordered.errors.find("undefined variable: X");
  ASSERT_NE(x, std::string::npos) << ordered.errors;
  EXPECT_LT(a, b) << ordered.errors;
  EXPECT_LT(b, x) << ordered.errors;
  EXPECT_EQ(ordered.errors.find("expected string not found"), std::string::npos);
}

TEST(MatchReporterTest, UnreadableCaptureReportsTheMatchThenTheError) {
  TestRun run;
  EXPECT_FALSE(run.run("CHECK: n=[[#%X,N:]]\n", "n=11111111111111111\n", true).passed);
  EXPECT_EQ(run.errors,
            "check.txt:1:8: remark: CHECK: expected string found in input\n"
            "CHECK: n=[[#%X,N:]]\n"
            "       ^\n"
            "input.txt:1:1: note: found here\n"
            "n=11111111111111111\n"
            "^~~~~~~~~~~~~~~~~~~\n"
            "input.txt:1:3: error: unable to represent numeric value\n"
            "n=11111111111111111\n"
            "  ^\n");
  ASSERT_EQ(run.records.size(), 2u);
  EXPECT_EQ(run.records[0].outcome, MatchOutcome::ExpectedFound);
  EXPECT_EQ(run.records[1].outcome, MatchOutcome::ErrorAfterMatch);
  EXPECT_EQ(run.records[1].note, "unable to represent numeric value");
  EXPECT_EQ(run.records[1].inputStartColumn, 3u);
  EXPECT_EQ(run.records[1].inputEndColumn, 20u);
}

TEST(MatchReporterTest, RecordsReplaceVerboseOutput) {
  TestRun run;
  run.options.verbose = true;
  EXPECT_TRUE(run.run("CHECK: x [[V:y]] [[#N:]]\nCHECK: [[V]]\n", "x y 5 y\n", true).passed);
  EXPECT_EQ(run.errors, "");
  ASSERT_EQ(run.records.size(), 5u);
  std::vector<std::string> notes;
  for (const MatchDiag &record : run.records) {
    EXPECT_EQ(record.outcome, MatchOutcome::ExpectedFound);
    notes.push_back(record.note);
  }
  EXPECT_EQ(notes, (std::vector<std::string>{"", "captured var \"V\"", "captured var \"N\"", "",
                                             "with \"V\" equal to \"y\""}));
  EXPECT_EQ(run.records[0].checkLocation, run.records[2].checkLocation);
  EXPECT_EQ(run.records[2].inputStartColumn, 5u);
  EXPECT_EQ(run.records[2].inputEndColumn, 6u);
  // A note about a value has an empty range at the start of the match.
  EXPECT_EQ(run.records[4].inputStartColumn, 7u);
  EXPECT_EQ(run.records[4].inputEndColumn, 7u);
}

TEST(MatchReporterTest, WhatIsRecordedAndPrintedWithAList) {
  using O = MatchOutcome;
  struct Case {
    TextRef check, input;
    bool verbose, veryVerbose;
    std::vector<MatchOutcome> outcomes;
    bool printsNothing;
  } cases[] = {
      // Matches and absent NOT patterns are recorded by verbosity, never printed.
      {"CHECK: a\nCHECK-NOT: x\n", "a\n", false, false, {}, true},
      {"CHECK: a\nCHECK-NOT: x\n", "a\n", true, false, {O::ExpectedFound}, true},
      {"CHECK: a\nCHECK-NOT: x\n", "a\n", true, true,
       {O::ExpectedFound, O::ExpectedFound, O::ExcludedNotFound}, true},
      // Failures are recorded and printed whatever the verbosity; the NOT
      // patterns of a step are searched after its positive match.
      {"CHECK: a\nCHECK-NOT: x\nCHECK: b\n", "a x b\n", false, false, {O::ExcludedFound}, false},
      {"CHECK: a\nCHECK-NOT: x\nCHECK: b\n", "a x b\n", true, false,
       {O::ExpectedFound, O::ExpectedFound, O::ExcludedFound}, false},
      {"CHECK: abcd\n", "x\nabce\n", false, false, {O::ExpectedNotFound, O::FuzzyMatch}, false},
  };
  for (const Case &c : cases) {
    TestRun run;
    run.options.verbose = c.verbose;
    run.options.veryVerbose = c.veryVerbose;
    run.run(c.check, c.input, /*withRecords=*/true);
    std::vector<MatchOutcome> outcomes;
    for (const MatchDiag &record : run.records)
      outcomes.push_back(record.outcome);
    EXPECT_EQ(outcomes, c.outcomes) << c.check << " -v " << c.verbose << " -vv " << c.veryVerbose;
    EXPECT_EQ(run.errors.empty(), c.printsNothing) << c.check << run.errors;
  }

  // The end-of-input record and the absent NOT pattern's searched range.
  TestRun veryVerbose;
  veryVerbose.options.verbose = veryVerbose.options.veryVerbose = true;
  veryVerbose.run("CHECK: a\nCHECK-NOT: x\n", "a b\n", true);
  ASSERT_EQ(veryVerbose.records.size(), 3u);
  EXPECT_EQ(veryVerbose.records[1].kind.type, DirectiveType::ImplicitEof);
  EXPECT_EQ(veryVerbose.records[1].inputStartLine, 2u);
  EXPECT_EQ(veryVerbose.records[1].inputStartColumn, 1u);
  const MatchDiag &searched = veryVerbose.records[2];
  EXPECT_EQ(searched.kind.type, DirectiveType::Not);
  EXPECT_EQ(std::tie(searched.inputStartLine, searched.inputStartColumn), std::make_tuple(1u, 2u));
  EXPECT_EQ(std::tie(searched.inputEndLine, searched.inputEndColumn), std::make_tuple(2u, 1u));
}

} // namespace ostrel
