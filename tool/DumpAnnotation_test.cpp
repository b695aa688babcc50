#include "tool/DumpAnnotation.h"

#include "support/fs/FileBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ostrel {

namespace {

// Check file: line N holds the letter of line N, so the location of line N
// is at offset 2 * (N - 1).
const char checkText[] = "a\nb\nc\nd\ne\nf\ng\nh\n";

class DumpAnnotationTest : public ::testing::Test {
protected:
  void SetUp() override {
    checkId = registry.addBuffer(copyText(checkText, "check.txt"));
    implicitFirst = registry.addBuffer(copyText("first", "command line"));
    registry.addBuffer(copyText("second", "command line"));
  }

  SourceLocation checkLine(unsigned line) const {
    return registry.buffer(checkId).bufferStart() + 2 * (line - 1);
  }
  SourceLocation implicit(unsigned index) const {
    return registry.buffer(implicitFirst + index - 1).bufferStart();
  }

  static MatchDiag record(CheckKind kind, SourceLocation where, MatchOutcome outcome,
                          uint32_t startLine, uint32_t startColumn, uint32_t endLine,
                          uint32_t endColumn, std::string note = "") {
    MatchDiag d;
    d.kind = kind;
    d.checkLocation = where;
    d.outcome = outcome;
    d.inputStartLine = startLine;
    d.inputStartColumn = startColumn;
    d.inputEndLine = endLine;
    d.inputEndColumn = endColumn;
    d.note = std::move(note);
    return d;
  }

  DumpAnnotations collect(const std::vector<MatchDiag> &records) const {
    return collectDumpAnnotations(registry, checkId, {implicitFirst, implicitFirst + 2}, records);
  }

  SourceRegistry registry;
  unsigned checkId = 0;
  unsigned implicitFirst = 0;
};

TEST_F(DumpAnnotationTest, LabelsNameTheDirectiveAndNumberRepeatedLocations) {
  using DT = DirectiveType;
  auto found = MatchOutcome::ExpectedFound;
  std::vector<MatchDiag> records = {
      record({DT::Dag}, checkLine(7), found, 1, 1, 1, 2),
      record({DT::Plain, 1}, checkLine(1), found, 1, 1, 1, 2),
      record({DT::Dag}, checkLine(7), MatchOutcome::DiscardedOverlap, 1, 1, 1, 2),
      record({DT::Plain, 3}, checkLine(2), found, 1, 1, 1, 2),
      record({DT::Not}, implicit(2), MatchOutcome::ExcludedNotFound, 1, 1, 1, 2),
      record({DT::Not}, implicit(1), MatchOutcome::ExcludedNotFound, 1, 1, 1, 2),
      record({DT::Dag}, checkLine(7), found, 1, 1, 1, 2),
      record({DT::Dag}, checkLine(8), found, 1, 1, 1, 2),
      record({DT::ImplicitEof}, checkLine(8) + 2, found, 1, 1, 1, 2),
  };
  DumpAnnotations result = collect(records);
  std::vector<std::string> labels;
  for (const DumpAnnotation &a : result.annotations)
    labels.push_back(a.label);
  EXPECT_EQ(labels, (std::vector<std::string>{"dag:7'0", "check:1", "dag:7'1", "count:2",
                                              "not:imp2", "not:imp1", "dag:7'2", "dag:8",
                                              "eof:9"}));
  EXPECT_EQ(result.labelWidth, 8u);
  for (uint32_t i = 0; i < result.annotations.size(); ++i)
    EXPECT_EQ(result.annotations[i].diagIndex, i);
}

TEST_F(DumpAnnotationTest, NoRecordsGiveNoAnnotations) {
  DumpAnnotations result = collect({});
  EXPECT_TRUE(result.annotations.empty());
  EXPECT_EQ(result.labelWidth, 0u);
}

TEST_F(DumpAnnotationTest, RangesOverSeveralLinesGetContinuationLines) {
  struct Case {
    uint32_t endColumn;
    std::vector<uint32_t> lines;
    uint32_t lastEnd;
  } cases[] = {
      {1, {4, 5}, dumpColumnLineEnd}, // stops at the very start of line 6
      {2, {4, 5, 6}, 2},
  };
  for (const Case &c : cases) {
    DumpAnnotations result = collect(
        {record({DirectiveType::Plain}, checkLine(1), MatchOutcome::ExpectedNotFound, 4, 3, 6,
                c.endColumn)});
    ASSERT_EQ(result.annotations.size(), 1u);
    const DumpAnnotation &first = result.annotations.front();
    std::vector<DumpAnnotation> all = {first};
    for (uint32_t line = first.inputLine + 1; line <= first.lastLine; ++line)
      all.push_back(first.continuation(line));
    std::vector<uint32_t> lines;
    for (const DumpAnnotation &a : all)
      lines.push_back(a.inputLine);
    ASSERT_EQ(lines, c.lines) << c.endColumn;
    EXPECT_TRUE(first.isFirstLine);
    EXPECT_EQ(first.startColumn, 3u);
    EXPECT_EQ(first.endColumn, dumpColumnLineEnd);
    EXPECT_EQ(first.marker.lead, 'X');
    EXPECT_EQ(first.marker.note, "error: no match found");
    for (size_t i = 1; i < all.size(); ++i) {
      const DumpAnnotation &more = all[i];
      EXPECT_FALSE(more.isFirstLine);
      EXPECT_EQ(more.startColumn, 1u);
      EXPECT_EQ(more.marker.lead, '~');
      EXPECT_EQ(more.marker.note, "");
      EXPECT_EQ(more.marker.colour, TextColour::Red);
      EXPECT_TRUE(more.marker.countsAsError);
      EXPECT_EQ(more.diagIndex, 0u);
      EXPECT_EQ(more.label, "check:1");
      EXPECT_FALSE(more.spansLines());
    }
    EXPECT_EQ(all.back().endColumn, c.lastEnd);
  }
  // A range that ends at the start of the next line marks one line only.
  DumpAnnotations single = collect(
      {record({DirectiveType::Plain}, checkLine(1), MatchOutcome::ExpectedNotFound, 4, 3, 5, 1)});
  EXPECT_FALSE(single.annotations.front().spansLines());
}

TEST_F(DumpAnnotationTest, NotesAndEmptyRanges) {
  using DT = DirectiveType;
  DumpAnnotations result = collect({
      // An empty match still marks one column.
      record({DT::Plain}, checkLine(1), MatchOutcome::ExpectedFound, 2, 5, 2, 5),
      // A note on an empty range has no lead character.
      record({DT::Plain}, checkLine(1), MatchOutcome::ExpectedFound, 2, 5, 2, 5,
             "with \"X\" equal to \"1\""),
      // A note on a real range keeps the lead and replaces the table's note.
      record({DT::Plain}, checkLine(2), MatchOutcome::ExpectedNotFound, 3, 1, 3, 4,
             "captured var \"Y\""),
      record({DT::Plain}, checkLine(3), MatchOutcome::ErrorAfterMatch, 4, 2, 4, 6,
             "unable to represent numeric value"),
      record({DT::Plain}, checkLine(4), MatchOutcome::FuzzyMatch, 5, 2, 5, 2),
  });
  ASSERT_EQ(result.annotations.size(), 5u);
  const auto &a = result.annotations;
  EXPECT_EQ(a[0].startColumn, 5u);
  EXPECT_EQ(a[0].endColumn, 6u);
  EXPECT_EQ(a[0].marker.lead, '^');
  EXPECT_TRUE(a[0].isExpectedMatch);
  EXPECT_EQ(a[1].marker.lead, ' ');
  EXPECT_EQ(a[1].marker.note, "with \"X\" equal to \"1\"");
  EXPECT_EQ(a[2].marker.lead, 'X');
  EXPECT_EQ(a[2].marker.note, "captured var \"Y\"");
  EXPECT_EQ(a[2].endColumn, 4u);
  EXPECT_EQ(a[3].marker.lead, '!');
  EXPECT_EQ(a[3].marker.note, "error: unable to represent numeric value");
  EXPECT_TRUE(a[3].marker.countsAsError);
  EXPECT_FALSE(a[3].isExpectedMatch);
  EXPECT_EQ(a[4].marker.lead, '?');
  EXPECT_EQ(a[4].marker.colour, TextColour::Magenta);
  EXPECT_TRUE(a[4].marker.countsAsError);
}

TEST(DumpMarker, OnlyFailuresAndFuzzyMatchesCountAsErrors) {
  struct Case {
    MatchOutcome outcome;
    char lead;
    TextColour colour;
    bool error;
  } cases[] = {
      {MatchOutcome::ExpectedFound, '^', TextColour::Green, false},
      {MatchOutcome::ExcludedFound, '!', TextColour::Red, true},
      {MatchOutcome::FoundOnWrongLine, '!', TextColour::Red, true},
      {MatchOutcome::DiscardedOverlap, '!', TextColour::Cyan, false},
      {MatchOutcome::ErrorAfterMatch, '!', TextColour::Red, true},
      {MatchOutcome::ExcludedNotFound, 'X', TextColour::Green, false},
      {MatchOutcome::ExpectedNotFound, 'X', TextColour::Red, true},
      {MatchOutcome::InvalidPattern, 'X', TextColour::Red, true},
      {MatchOutcome::FuzzyMatch, '?', TextColour::Magenta, true},
  };
  for (const Case &c : cases) {
    DumpMarker m = dumpMarkerFor(c.outcome);
    EXPECT_EQ(m.lead, c.lead) << static_cast<int>(c.outcome);
    EXPECT_EQ(m.colour, c.colour) << static_cast<int>(c.outcome);
    EXPECT_EQ(m.countsAsError, c.error) << static_cast<int>(c.outcome);
  }
}

} // namespace

} // namespace ostrel
