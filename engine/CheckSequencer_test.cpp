#include "engine/CheckSequencer.h"

#include "engine/CheckRunTestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace ostrel {

TEST(CountLineBreaksTest, PairsOfDifferentBreaksCountOnce) {
  struct Case {
    TextRef text;
    unsigned limit;
    unsigned count;
    size_t firstLineStart;
  } cases[] = {
      {"", 2, 0, 0},          {"abc", 2, 0, 0},       {"a\nb", 2, 1, 2},
      {"\r\n", 2, 1, 2},      {"\n\r", 2, 1, 2},      {"\n\n", 2, 2, 1},
      {"\r\r", 2, 2, 1},      {"\r\n\r\n", 2, 2, 2},  {"\n\r\n", 2, 2, 2},
      {"a\r\nb\nc", 2, 2, 3}, {"\n\n\n\n", 2, 2, 1},  {"\n\n\n", 5, 3, 1},
      {"x\ry", 1, 1, 2},
  };
  for (const Case &c : cases) {
    LineBreakCount counted = countLineBreaks(c.text, c.limit);
    EXPECT_EQ(counted.count, c.count) << testing::PrintToString(std::string(c.text));
    if (c.count > 0) {
      EXPECT_EQ(counted.firstLineStart, c.firstLineStart)
          << testing::PrintToString(std::string(c.text));
    }
  }
}

TEST(DagRangeListTest, KeepsMatchesSortedAndApart) {
  DagRangeList ranges;
  DagRange overlapped;
  EXPECT_TRUE(ranges.tryInsert({10, 12}, overlapped));
  EXPECT_TRUE(ranges.tryInsert({2, 4}, overlapped));
  // Touching ranges do not overlap, and an empty match at an entry's start
  // goes in front of it.
  EXPECT_TRUE(ranges.tryInsert({4, 10}, overlapped));
  EXPECT_TRUE(ranges.tryInsert({2, 2}, overlapped));
  EXPECT_TRUE(ranges.tryInsert({0, 2}, overlapped));
  // Empty matches where entries touch go after those that end there.
  EXPECT_TRUE(ranges.tryInsert({2, 2}, overlapped));
  EXPECT_TRUE(ranges.tryInsert({12, 12}, overlapped));
  EXPECT_EQ(ranges.entries(), (std::vector<DagRange>{
                                  {0, 2}, {2, 2}, {2, 2}, {2, 4}, {4, 10}, {10, 12}, {12, 12}}));
}

TEST(DagRangeListTest, OverlapNamesTheFirstEntryEndingAfterTheMatchStarts) {
  DagRangeList ranges;
  DagRange overlapped;
  ASSERT_TRUE(ranges.tryInsert({0, 5}, overlapped));
  ASSERT_TRUE(ranges.tryInsert({8, 9}, overlapped));

  EXPECT_FALSE(ranges.tryInsert({3, 4}, overlapped));
  EXPECT_EQ(overlapped, (DagRange{0, 5}));
  // An empty match strictly inside an entry overlaps it.
  EXPECT_FALSE(ranges.tryInsert({1, 1}, overlapped));
  EXPECT_EQ(overlapped, (DagRange{0, 5}));
  EXPECT_FALSE(ranges.tryInsert({6, 9}, overlapped));
  EXPECT_EQ(overlapped, (DagRange{8, 9}));
  // A retry after [8, 9) inserts at the end.
  EXPECT_TRUE(ranges.tryInsert({9, 11}, overlapped));
  EXPECT_EQ(ranges.entries(), (std::vector<DagRange>{{0, 5}, {8, 9}, {9, 11}}));

  DagRangeList merged;
  merged.merge({4, 6});
  merged.merge({1, 5});
  EXPECT_EQ(merged.entries(), (std::vector<DagRange>{{1, 6}}));
}

TEST(CheckSequencerTest, NextLineRule) {
  TestRun good;
  EXPECT_TRUE(good.run("CHECK: a\nCHECK-NEXT: b\n", "a\nb\n").passed);
  EXPECT_EQ(good.errors, "");

  TestRun sameLine;
  EXPECT_FALSE(sameLine.run("CHECK: a\nCHECK-NEXT: b\n", "a b\n").passed);
  EXPECT_EQ(sameLine.errors,
            "check.txt:2:13: error: CHECK-NEXT: is on the same line as previous match\n"
            "CHECK-NEXT: b\n"
            "            ^\n"
            "input.txt:1:3: note: 'next' match was here\n"
            "a b\n"
            "  ^\n"
            "input.txt:1:2: note: previous match ended here\n"
            "a b\n"
            " ^\n");

  TestRun lineBetween;
  EXPECT_FALSE(lineBetween.run("CHECK: a\nCHECK-NEXT: b\n", "a\n\nb\n").passed);
  EXPECT_EQ(lineBetween.errors,
            "check.txt:2:13: error: CHECK-NEXT: is not on the line after the previous match\n"
            "CHECK-NEXT: b\n"
            "            ^\n"
            "input.txt:3:1: note: 'next' match was here\n"
            "b\n"
            "^\n"
            "input.txt:1:2: note: previous match ended here\n"
            "a\n"
            " ^\n"
            "input.txt:2:1: note: non-matching line after previous match is here\n"
            "\n"
            "^\n");
}

TEST(CheckSequencerTest, SameAndEmptyLineRules) {
  TestRun same;
  EXPECT_FALSE(same.run("CHECK: a\nCHECK-SAME: b\n", "a\nb\n").passed);
  EXPECT_EQ(same.errors,
            "check.txt:2:13: error: CHECK-SAME: is not on the same line as the previous match\n"
            "CHECK-SAME: b\n"
            "            ^\n"
            "input.txt:2:1: note: 'next' match was here\n"
            "b\n"
            "^\n"
            "input.txt:1:2: note: previous match ended here\n"
            "a\n"
            " ^\n");

  TestRun empty;
  EXPECT_TRUE(empty.run("CHECK: a\nCHECK-EMPTY:\nCHECK-NEXT: b\n", "a\n\nb\n").passed);
  EXPECT_EQ(empty.errors, "");

  // The empty line found is two lines below the match.
  TestRun farEmpty;
  EXPECT_FALSE(farEmpty.run("CHECK: a\nCHECK-EMPTY:\n", "a\nx\n\n").passed);
  EXPECT_EQ(farEmpty.errors.substr(0, farEmpty.errors.find('\n')),
            "check.txt:2:13: error: CHECK-EMPTY: is not on the line after the previous match");
}

TEST(CheckSequencerTest, DagGroupsNeverOverlap) {
  TestRun twice;
  EXPECT_FALSE(twice.run("CHECK-DAG: x\nCHECK-DAG: x\n", "x\n").passed);
  EXPECT_EQ(twice.errors,
            "check.txt:2:12: error: CHECK-DAG: expected string not found in input\n"
            "CHECK-DAG: x\n"
            "           ^\n"
            "input.txt:1:2: note: scanning from here\n"
            "x\n"
            " ^\n");

  TestRun allowed;
  allowed.options.allowDeprecatedDagOverlap = true;
  EXPECT_TRUE(allowed.run("CHECK-DAG: x\nCHECK-DAG: x\n", "x\n").passed);
  // Allowed overlaps widen one range over the group: the next search starts
  // after the furthest match, not after the last one found.
  TestRun widened;
  widened.options.allowDeprecatedDagOverlap = true;
  EXPECT_FALSE(widened.run("CHECK-DAG: b\nCHECK-DAG: a\nCHECK: b\n", "a b\n").passed);
  TestRun widenedPass;
  widenedPass.options.allowDeprecatedDagOverlap = true;
  EXPECT_TRUE(widenedPass.run("CHECK-DAG: b\nCHECK-DAG: a\nCHECK: b\n", "a b b\n").passed);

  // Order within a group is free; the next positive search starts after the
  // group's last match, so the "a" before "b" does not count.
  TestRun anyOrder;
  EXPECT_TRUE(anyOrder.run("CHECK-DAG: b\nCHECK-DAG: a\nCHECK: c\n", "a b c\n").passed);
  TestRun afterGroup;
  EXPECT_FALSE(afterGroup.run("CHECK-DAG: b\nCHECK-DAG: a\nCHECK: a\n", "a b\n").passed);

  // A discarded match is searched again after the match it overlapped.
  TestRun retry;
  EXPECT_TRUE(retry.run("CHECK-DAG: abc\nCHECK-DAG: b\n", "abc b\n").passed);
}

TEST(CheckSequencerTest, NotPatternsBetweenDagGroups) {
  TestRun between;
  EXPECT_FALSE(between.run("CHECK-DAG: a\nCHECK-NOT: x\nCHECK-DAG: b\n", "a x b\n").passed);
  EXPECT_EQ(between.errors,
            "check.txt:2:12: error: CHECK-NOT: excluded string found in input\n"
            "CHECK-NOT: x\n"
            "           ^\n"
            "input.txt:1:3: note: found here\n"
            "a x b\n"
            "  ^\n");

  // Outside the stretch between the two groups the NOT pattern may occur.
  TestRun outside;
  EXPECT_TRUE(outside.run("CHECK-DAG: a\nCHECK-NOT: x\nCHECK-DAG: b\nCHECK: x\n",
                          "a b x\n").passed);

  // Every NOT pattern is reported before the step fails.
  TestRun all;
  EXPECT_FALSE(all.run("CHECK-NOT: x\nCHECK-NOT: y\nCHECK: z\n", "x y z\n").passed);
  EXPECT_NE(all.errors.find("CHECK-NOT: x\n"), std::string::npos);
  EXPECT_NE(all.errors.find("CHECK-NOT: y\n"), std::string::npos);

  // After the last positive directive, up to the end of the input.
  TestRun atEnd;
  EXPECT_FALSE(atEnd.run("CHECK: a\nCHECK-NOT: b\n", "a\nc\nb\n").passed);
  EXPECT_NE(atEnd.errors.find("input.txt:3:1: note: found here"), std::string::npos);
}

TEST(CheckSequencerTest, CountRepetitions) {
  TestRun failing;
  EXPECT_FALSE(failing.run("CHECK-COUNT-3: a\n", "a a\n").passed);
  EXPECT_EQ(failing.errors.substr(0, failing.errors.find('\n')),
            "check.txt:1:16: error: CHECK-COUNT: expected string not found in input (3 out of 3)");

  // The next step starts after the last repetition.
  TestRun next;
  EXPECT_TRUE(next.run("CHECK-COUNT-2: a\nCHECK-NEXT: b\n", "a\na\nb\n").passed);
  TestRun tooFar;
  EXPECT_FALSE(tooFar.run("CHECK-COUNT-2: a\nCHECK: a\n", "a a\n").passed);
}

TEST(CheckSequencerTest, LabelBlocks) {
  // A failure in one block does not stop the next block.
  TestRun blocks;
  EXPECT_FALSE(blocks.run("CHECK-LABEL: L1\nCHECK: missing\nCHECK-LABEL: L2\nCHECK: nope\n",
                          "L1\nx\nL2\ny\n").passed);
  EXPECT_NE(blocks.errors.find("CHECK: missing"), std::string::npos);
  EXPECT_NE(blocks.errors.find("CHECK: nope"), std::string::npos);
  // The search for "missing" stops at the end of the block.
  EXPECT_EQ(blocks.errors.find("possible intended match"), std::string::npos);

  // A label that does not occur stops everything at once.
  TestRun missingLabel;
  EXPECT_FALSE(missingLabel.run("CHECK: nope\nCHECK-LABEL: L9\nCHECK: nope\n", "L1\n").passed);
  EXPECT_EQ(missingLabel.errors.substr(0, missingLabel.errors.find('\n')),
            "check.txt:2:14: error: CHECK-LABEL: expected string not found in input");
  EXPECT_EQ(missingLabel.errors.find("CHECK: nope"), std::string::npos);

  // Steps before a label must match before it.
  TestRun beforeLabel;
  EXPECT_FALSE(beforeLabel.run("CHECK: b\nCHECK-LABEL: L\n", "L b\n").passed);

  // With -v the label is reported by the scan and again by its block.
  TestRun verbose;
  verbose.options.verbose = true;
  EXPECT_TRUE(verbose.run("CHECK-LABEL: L\n", "L\n").passed);
  std::string remark = "check.txt:1:14: remark: CHECK-LABEL: expected string found in input\n";
  size_t firstRemark = verbose.errors.find(remark);
  ASSERT_NE(firstRemark, std::string::npos);
  EXPECT_NE(verbose.errors.find(remark, firstRemark + 1), std::string::npos);
}

TEST(CheckSequencerTest, VariableScopes) {
  const TextRef check = "CHECK: [[X:x[0-9]]] [[$G:g[0-9]]]\n"
                        "CHECK: [[X]]\n"
                        "CHECK-LABEL: L1\n"
                        "CHECK: [[X]] [[$G]]\n";
  const TextRef input = "x1 g1\nx1\nL1\nx1 g1\n";
  TestRun unscoped;
  EXPECT_TRUE(unscoped.run(check, input).passed) << unscoped.errors;

  TestRun scoped;
  scoped.options.enableVarScope = true;
  EXPECT_FALSE(scoped.run(check, input).passed);
  EXPECT_EQ(scoped.errors,
            "check.txt:4:10: error: undefined variable: X\n"
            "CHECK: [[X]] [[$G]]\n"
            "         ^\n"
            "input.txt:3:3: note: with \"$G\" equal to \"g1\"\n"
            "L1\n"
            "  ^\n");

  TestRun global;
  global.options.enableVarScope = true;
  EXPECT_TRUE(global.run("CHECK: [[$G:g[0-9]]]\nCHECK-LABEL: L1\nCHECK: [[$G]]\n", "g1\nL1 g1\n")
                  .passed)
      << global.errors;
}

TEST(CheckSequencerTest, RecordsOfWrongLineAndDiscardedMatches) {
  TestRun quiet;
  quiet.run("CHECK: a\nCHECK-NEXT: b\n", "a b\n", /*withRecords=*/true);
  ASSERT_EQ(quiet.records.size(), 1u);
  EXPECT_EQ(quiet.records[0].outcome, MatchOutcome::FoundOnWrongLine);
  EXPECT_EQ(quiet.records[0].inputStartColumn, 3u);
  EXPECT_EQ(quiet.records[0].inputEndColumn, 4u);

  TestRun verbose;
  verbose.options.verbose = true;
  verbose.run("CHECK: a\nCHECK-NEXT: [[X:b]]\n", "a b\n", /*withRecords=*/true);
  ASSERT_EQ(verbose.records.size(), 3u);
  EXPECT_EQ(verbose.records[0].outcome, MatchOutcome::ExpectedFound);
  EXPECT_EQ(verbose.records[1].outcome, MatchOutcome::FoundOnWrongLine);
  EXPECT_EQ(verbose.records[2].outcome, MatchOutcome::FoundOnWrongLine);
  EXPECT_EQ(verbose.records[2].note, "captured var \"X\"");

  TestRun discarded;
  discarded.options.verbose = discarded.options.veryVerbose = true;
  EXPECT_TRUE(discarded.run("CHECK-DAG: x\nCHECK-DAG: x\n", "x x\n", true).passed);
  std::vector<MatchOutcome> outcomes;
  for (const MatchDiag &record : discarded.records)
    outcomes.push_back(record.outcome);
  EXPECT_EQ(outcomes, (std::vector<MatchOutcome>{MatchOutcome::ExpectedFound,
                                                 MatchOutcome::DiscardedOverlap,
                                                 MatchOutcome::ExpectedFound,
                                                 MatchOutcome::ExpectedFound}));
  EXPECT_EQ(discarded.records[2].inputStartColumn, 3u);
  EXPECT_EQ(discarded.errors, "");

  TestRun discardNote;
  discardNote.options.verbose = discardNote.options.veryVerbose = true;
  EXPECT_TRUE(discardNote.run("CHECK-DAG: x\nCHECK-DAG: x\n", "x x\n").passed);
  EXPECT_NE(discardNote.errors.find("input.txt:1:1: note: match discarded, overlaps earlier "
                                    "DAG match here\nx x\n^\n"),
            std::string::npos);
}

namespace {

/// What a run prints for `check` on `input`, with -vv or with `implicit` as
/// the command-line NOT patterns.
std::string reportsOf(const std::string &check, const std::string &input,
                      std::vector<TextRef> implicit = {}) {
  TestRun run;
  run.options.verbose = run.options.veryVerbose = implicit.empty();
  run.options.implicitCheckNot = implicit;
  run.run(check, input);
  return run.errors;
}

} // namespace

TEST(CheckSequencerTest, ManyNotPatternsReportAsEachOnItsOwn) {
  // Many fixed-text NOT patterns are searched in one pass; the reports must
  // be those of each pattern searched on its own, in directive order.
  const std::vector<std::string> patterns = {
      "ab", "abc", "b", "zz", "{{a+}}c", "bc", "c", "ab", "x y", "cab", "q", "y"};
  const std::string input = "start\nab c abc x y\nbcab\nend\n";
  auto checkWith = [&](std::optional<size_t> only) {
    std::string check = "CHECK: start\n";
    for (size_t i = 0; i != patterns.size(); ++i)
      check += !only || *only == i ? "CHECK-NOT: " + patterns[i] + "\n" : "\n";
    return check + "CHECK: end\n";
  };
  std::string base = reportsOf(checkWith(patterns.size()), input);
  std::string expected = base;
  for (size_t i = 0; i != patterns.size(); ++i)
    expected += reportsOf(checkWith(i), input).substr(base.size());
  EXPECT_EQ(reportsOf(checkWith(std::nullopt), input), expected);

  // The same for command-line patterns, which are one set for every step.
  std::vector<TextRef> implicit(patterns.begin(), patterns.end());
  std::string expectedImplicit;
  for (TextRef pattern : implicit)
    expectedImplicit += reportsOf("CHECK: end\n", input, {pattern});
  EXPECT_EQ(reportsOf("CHECK: end\n", input, implicit), expectedImplicit);
}

TEST(CheckSequencerTest, DagGroupsAcceptTheSameMatchesWithAndWithoutVeryVerbose) {
  // Without -vv repeated fixed texts resume after their previous match and
  // the first searches of a group are made together; -vv searches every
  // attempt. The matches accepted must be the same.
  struct Case {
    const char *check;
    const char *input;
  } cases[] = {
      {"CHECK-DAG: ab\nCHECK-DAG: ab\nCHECK-DAG: b\nCHECK-DAG: ab\n", "ab\nab\nxab b ab\n"},
      {"CHECK-DAG: a\nCHECK-DAG: ab\nCHECK-DAG: a\nCHECK-DAG: b\nCHECK-DAG: a\nCHECK-DAG: a\n"
       "CHECK-DAG: a\nCHECK-DAG: ba\nCHECK-DAG: a\nCHECK-NOT: x\nCHECK-DAG: a\nCHECK-DAG: a\n",
       "aab ba a\naba a\na a a\n"},
      {"CHECK-DAG: a\nCHECK-DAG: {{a}}\nCHECK-DAG: a\nCHECK-DAG: a\n", "a a\naa\n"},
      {"CHECK-DAG: x\nCHECK-DAG: x\nCHECK-DAG: x\n", "x x\n"},
  };
  for (const Case &c : cases) {
    auto accepted = [&](bool veryVerbose) {
      TestRun run;
      run.options.verbose = true;
      run.options.veryVerbose = veryVerbose;
      run.run(c.check, c.input, /*withRecords=*/true);
      std::vector<std::pair<uint32_t, uint32_t>> starts;
      for (const MatchDiag &record : run.records)
        if (record.outcome == MatchOutcome::ExpectedFound && record.kind.type == DirectiveType::Dag)
          starts.emplace_back(record.inputStartLine, record.inputStartColumn);
      return std::make_pair(run.passed, starts);
    };
    EXPECT_EQ(accepted(false), accepted(true)) << c.check;
  }
}

} // namespace ostrel
