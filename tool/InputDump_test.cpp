#include "tool/InputDump.h"

#include "support/diag/ColourScope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace ostrel {

namespace {

DumpAnnotation annotation(uint32_t diagIndex, std::string label, uint32_t line, uint32_t start,
                          uint32_t end, char lead, std::string note = "", bool error = false,
                          bool firstLine = true) {
  DumpAnnotation a;
  a.diagIndex = diagIndex;
  a.label = std::move(label);
  a.isFirstLine = firstLine;
  a.inputLine = line;
  a.startColumn = start;
  a.endColumn = end;
  a.marker = DumpMarker{lead, error ? TextColour::Red : TextColour::Green, std::move(note), error};
  a.isExpectedMatch = lead == '^';
  return a;
}

std::string numberedLines(uint32_t count) {
  std::string text;
  for (uint32_t i = 1; i <= count; ++i)
    text += "line" + std::to_string(i) + "\n";
  return text;
}

struct DumpRun {
  DumpFilter filter = DumpFilter::All;
  uint32_t context = 5;
  bool verbose = false;
};

std::string dump(const std::string &input, std::vector<DumpAnnotation> annotations,
                 DumpRun run = {}, bool colours = false) {
  std::string out;
  StringOutputStream os(out);
  os.allowColours(colours);
  int32_t saved = colourPreference;
  colourPreference = colours ? ColourPreferenceTrue : ColourPreferenceFalse;
  uint32_t labelWidth = 0;
  for (const DumpAnnotation &a : annotations)
    labelWidth = std::max<uint32_t>(labelWidth, a.label.size());
  emitInputDump(os, {.input = input,
                     .annotations = annotations,
                     .labelWidth = labelWidth,
                     .filter = run.filter,
                     .context = run.context,
                     .verbose = run.verbose});
  colourPreference = saved;
  return out;
}

/// The line numbers shown, in order (0 stands for a line of dots).
std::vector<uint32_t> shownLines(const std::string &out) {
  std::vector<uint32_t> lines;
  size_t at = 0;
  while ((at = out.find('\n', at)) != std::string::npos) {
    ++at;
    size_t colon = out.find(": ", at);
    size_t eol = out.find('\n', at);
    std::string head = out.substr(at, std::min(colon, eol) - at);
    size_t digits = head.find_first_not_of(' ');
    if (digits == std::string::npos)
      continue;
    std::string number = head.substr(digits);
    if (number == ".")
      lines.push_back(0);
    else if (colon < eol && number.find_first_not_of("0123456789") == std::string::npos)
      lines.push_back(std::stoul(number));
  }
  return lines;
}

TEST(InputDump, LayoutOfLineLabelMarkerAndNote) {
  EXPECT_EQ(dump("abc\n", {annotation(0, "check:1", 1, 2, 3, '^')}),
            "Input was:\n<<<<<<\n"
            "         1: abc \n"
            "check:1      ^\n"
            ">>>>>>\n");
  // The note starts one blank after the line's width (3 letters and the
  // blank that stands for the line feed).
  EXPECT_EQ(dump("abc\n", {annotation(0, "check:1", 1, 2, 3, 'X', "error: no match found", true)}),
            "Input was:\n<<<<<<\n"
            "         1: abc \n"
            "check:1      X   error: no match found\n"
            ">>>>>>\n");
}

TEST(InputDump, MarkersAreClippedToTheLineAndReachTheLineFeedBlank) {
  std::string out = dump("abc\nxy", {annotation(0, "next:9", 1, 2, dumpColumnLineEnd, '!',
                                                "error: x", true),
                                     annotation(1, "next:9", 2, 1, 40, '~', "", true, false)});
  EXPECT_EQ(out, "Input was:\n<<<<<<\n"
                 "        1: abc \n"
                 "next:9      !~~ error: x\n"
                 "        2: xy\n"
                 "next:9     ~~\n"
                 ">>>>>>\n");
}

TEST(InputDump, AnnotationsAreSortedByLineThenRecord) {
  std::vector<DumpAnnotation> list = {annotation(2, "c:3", 2, 1, 2, '^'),
                                      annotation(1, "b:2", 1, 2, 3, '^'),
                                      annotation(0, "a:1", 2, 2, 3, '^')};
  EXPECT_EQ(dump("ab\ncd\n", list), "Input was:\n<<<<<<\n"
                                    "     1: ab \n"
                                    "b:2      ^\n"
                                    "     2: cd \n"
                                    "a:1      ^\n"
                                    "c:3     ^\n"
                                    ">>>>>>\n");
}

TEST(InputDump, ShuffledAnnotationsComeOutInLineThenRecordOrder) {
  // Three records spanning all ten lines; any permutation must print, under
  // each line, record 0, then 1, then 2.
  std::vector<DumpAnnotation> list;
  for (uint32_t record = 0; record < 3; ++record)
    for (uint32_t line = 1; line <= 10; ++line)
      list.push_back(annotation(record, "r" + std::to_string(record) + "l" + std::to_string(line),
                                line, 1, 2, '^'));
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    std::shuffle(list.begin(), list.end(), random);
    std::vector<DumpAnnotation> copy = list;
    std::string out = dump(numberedLines(10), copy);
    std::string expected = "Input was:\n<<<<<<\n";
    for (uint32_t line = 1; line <= 10; ++line) {
      // The longest label, r0l10, makes the column 5 + 3 wide.
      expected += (line < 10 ? "       " : "      ") + std::to_string(line) + ": line" +
                  std::to_string(line) + " \n";
      for (uint32_t record = 0; record < 3; ++record) {
        std::string label = "r" + std::to_string(record) + "l" + std::to_string(line);
        expected += label + std::string(8 - label.size() + 2, ' ') + "^\n";
      }
    }
    ASSERT_EQ(out, expected + ">>>>>>\n") << round;
  }
}

TEST(InputDump, RangesOverSeveralLinesPrintLikeOneAnnotationPerLine) {
  // Records that span lines are drawn line by line as the dump reaches them;
  // the result must be the dump of their continuations listed one by one,
  // whatever the filter, the context, the elision and the interleaving with
  // records that start on the lines they cross.
  auto spanning = [](DumpAnnotation a, uint32_t lastLine, uint32_t lastEnd) {
    a.lastLine = lastLine;
    a.lastEndColumn = lastEnd;
    return a;
  };
  std::vector<DumpAnnotation> records = {
      spanning(annotation(0, "check:1", 3, 2, dumpColumnLineEnd, 'X', "error: e", true), 40,
               dumpColumnLineEnd),
      annotation(1, "check:2", 5, 1, 3, '^'),
      spanning(annotation(2, "dag:3", 5, 3, dumpColumnLineEnd, '^'), 9, 2),
      annotation(3, "not:4", 20, 2, 4, '!', "error: no match expected", true),
      spanning(annotation(4, "not:5", 27, 1, dumpColumnLineEnd, 'X'), 33, 3),
      spanning(annotation(5, "next:6", 29, 2, dumpColumnLineEnd, '^'), 31, 1),
      // Goes on past the last input line.
      spanning(annotation(6, "eof:7", 34, 1, dumpColumnLineEnd, 'X', "", true), 36, 2),
  };
  std::vector<DumpAnnotation> expanded;
  for (const DumpAnnotation &a : records) {
    expanded.push_back(a);
    expanded.back().lastLine = 0;
    for (uint32_t line = a.inputLine + 1; line <= a.lastLine; ++line)
      expanded.push_back(a.continuation(line));
  }
  for (DumpFilter filter : {DumpFilter::Error, DumpFilter::Annotation, DumpFilter::AnnotationFull,
                            DumpFilter::All})
    for (uint32_t context : {0u, 1u, 5u})
      for (bool verbose : {false, true}) {
        DumpRun run{filter, context, verbose};
        std::string expected = dump(numberedLines(34), expanded, run, verbose);
        EXPECT_EQ(dump(numberedLines(34), records, run, verbose), expected)
            << int(filter) << " " << context << " " << verbose;
      }
}

TEST(InputDump, AnnotationPastTheLastLineGetsAnEmptyLine) {
  std::string out = dump("ab\n", {annotation(0, "check:2", 2, 1, 2, 'X', "error: no match found", true)});
  EXPECT_EQ(out, "Input was:\n<<<<<<\n"
                 "         1: ab \n"
                 "         2: \n"
                 "check:2     X error: no match found\n"
                 ">>>>>>\n");
}

TEST(InputDump, EmptyInputWithoutAnnotations) {
  EXPECT_EQ(dump("", {}), "Input was:\n<<<<<<\n>>>>>>\n");
  // An empty input still numbers from 1 in a one-digit column.
  EXPECT_EQ(dump("", {annotation(0, "c", 1, 1, 2, 'X')}),
            "Input was:\n<<<<<<\n   1: \nc     X\n>>>>>>\n");
}

TEST(InputDump, ErrorFilterShowsContextAroundTheErrorAndElidesTheRest) {
  std::vector<DumpAnnotation> list = {annotation(0, "check:1", 50, 1, 3, 'X', "error: e", true)};
  DumpRun run{DumpFilter::Error, 5};
  std::string out = dump(numberedLines(100), list, run);
  std::vector<uint32_t> expected = {0, 0, 0};
  for (uint32_t line = 45; line <= 55; ++line)
    expected.push_back(line);
  expected.insert(expected.end(), {0, 0, 0});
  EXPECT_EQ(shownLines(out), expected);
  EXPECT_NE(out.find("\n         .\n         .\n         .\n        45: line45 \n"),
            std::string::npos)
      << out;
}

TEST(InputDump, ShortElidedRunsArePrintedUnchanged) {
  // Elided runs of three output lines stay; four become three dot lines.
  struct Case {
    uint32_t lines;
    std::vector<uint32_t> shown;
  } cases[] = {
      {4, {1, 2, 3, 4}},
      {5, {0, 0, 0, 5}},
  };
  for (const Case &c : cases) {
    std::vector<DumpAnnotation> list = {
        annotation(0, "x", c.lines, 1, 2, 'X', "error: e", true)};
    EXPECT_EQ(shownLines(dump(numberedLines(c.lines), list, DumpRun{DumpFilter::Error, 0})),
              c.shown)
        << c.lines;
  }
  // A long run, then a short one: each is judged on its own.
  std::vector<DumpAnnotation> two = {annotation(0, "x", 6, 1, 2, 'X', "error: e", true),
                                     annotation(1, "x", 10, 1, 2, 'X', "error: e", true)};
  EXPECT_EQ(shownLines(dump(numberedLines(10), two, DumpRun{DumpFilter::Error, 0})),
            (std::vector<uint32_t>{0, 0, 0, 6, 7, 8, 9, 10}));
  // An elided line with an annotation under it counts two output lines.
  std::vector<DumpAnnotation> list = {annotation(0, "x", 1, 1, 2, '^'),
                                      annotation(2, "y", 4, 1, 2, 'X', "error: e", true)};
  EXPECT_EQ(shownLines(dump(numberedLines(4), list, DumpRun{DumpFilter::Error, 0})),
            (std::vector<uint32_t>{0, 0, 0, 4}));
}

TEST(InputDump, LongElidedRunsPassOverTheAnnotationsInThem) {
  // Far from the error, a good match and a range over many lines lie in the
  // elided run: they are passed over, and none of them reaches the output.
  std::vector<DumpAnnotation> list = {
      annotation(0, "check:1", 1000, 1, 3, '^'),
      annotation(1, "check:2", 1500, 2, dumpColumnLineEnd, '^'),
      annotation(1, "check:2", 1501, 1, dumpColumnLineEnd, '~', "", false, false),
      annotation(1, "check:2", 1600, 1, 3, '~', "", false, false),
      annotation(2, "check:3", 2500, 1, 2, 'X', "error: e", true)};
  std::string input = numberedLines(2999) + "line3000";
  std::string out = dump(input, list, DumpRun{DumpFilter::Error, 1});
  EXPECT_EQ(shownLines(out), (std::vector<uint32_t>{0, 0, 0, 2499, 2500, 2501, 0, 0, 0}));
  EXPECT_EQ(out.find("check:1"), std::string::npos) << out;
  EXPECT_EQ(out.find("check:2"), std::string::npos) << out;
}

TEST(InputDump, FiltersSelectDifferentLines) {
  // A good match spanning lines 3-5 and a discarded one on line 8 (not an
  // error), an error starting on line 10; context 0.
  std::vector<DumpAnnotation> list = {
      annotation(0, "check:1", 3, 2, dumpColumnLineEnd, '^'),
      annotation(0, "check:1", 4, 1, dumpColumnLineEnd, '~', "", false, false),
      annotation(0, "check:1", 5, 1, 3, '~', "", false, false),
      annotation(1, "dag:2", 8, 1, 3, '!', "discard: overlaps earlier match"),
      annotation(2, "next:3", 10, 1, 2, '!', "error: match on wrong line", true)};
  struct Case {
    DumpFilter filter;
    std::vector<uint32_t> shown;
  } cases[] = {
      {DumpFilter::Error, {0, 0, 0, 10, 11, 12}},
      {DumpFilter::Annotation, {1, 2, 3, 0, 0, 0, 8, 9, 10, 11, 12}},
      {DumpFilter::AnnotationFull, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
      {DumpFilter::All, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
  };
  for (const Case &c : cases)
    EXPECT_EQ(shownLines(dump(numberedLines(12), list, DumpRun{c.filter, 0})), c.shown)
        << static_cast<int>(c.filter);
}

TEST(InputDump, LargestContextShowsEverythingAroundTheError) {
  // A context near the top of the unsigned range must not wrap around and
  // hide lines that a smaller context shows.
  std::vector<DumpAnnotation> list = {annotation(0, "check:1", 50, 1, 3, 'X', "error: e", true)};
  std::vector<uint32_t> all;
  for (uint32_t line = 1; line <= 100; ++line)
    all.push_back(line);
  for (uint32_t context : {100u, 4294967295u, 4294967250u})
    EXPECT_EQ(shownLines(dump(numberedLines(100), list, DumpRun{DumpFilter::Error, context})), all)
        << context;
}

TEST(InputDump, ColoursAndVerboseHighlighting) {
  const std::string bold = "\x1b[1m", reset = "\x1b[0m", black = "\x1b[0;1;30m",
                    green = "\x1b[0;1;32m", cyanBack = "\x1b[0;1;46m";
  std::vector<DumpAnnotation> list = {annotation(0, "c:1", 1, 2, 3, '^')};
  // Not verbose: the input is only bold.
  EXPECT_EQ(dump("abc\n", list, DumpRun{}, true),
            "Input was:\n<<<<<<\n" + bold + reset + black + "     1: " + reset + bold + "abc " +
                reset + "\n" + green + "c:1      ^\n" + reset + ">>>>>>\n");
  // Verbose: unmatched input (and the line feed blank) on a cyan background.
  EXPECT_EQ(dump("abc\n", list, DumpRun{DumpFilter::All, 5, true}, true),
            "Input was:\n<<<<<<\n" + bold + reset + black + "     1: " + reset + bold + cyanBack +
                "a" + reset + "b" + cyanBack + "c " + reset + "\n" + green + "c:1      ^\n" +
                reset + ">>>>>>\n");
  // Elided lines keep their escapes, and dot lines are coloured too.
  std::vector<DumpAnnotation> late = {annotation(0, "c:1", 6, 1, 2, 'X', "", true)};
  std::string out = dump(numberedLines(6), late, DumpRun{DumpFilter::Error, 0}, true);
  EXPECT_NE(out.find(black + "     ." + reset + "\n"), std::string::npos) << out;
}

TEST(InputDump, VerboseHighlightFollowsNestedAndAdjacentGoodMatches) {
  const std::string bold = "\x1b[1m", reset = "\x1b[0m", cyanBack = "\x1b[0;1;46m";
  // Good matches at columns 3, 2-5 (around it), 6 (adjacent) and 8; the
  // search range of a failure over the whole line highlights nothing.
  std::vector<DumpAnnotation> list = {annotation(0, "c:1", 1, 3, 4, '^'),
                                      annotation(1, "c:2", 1, 2, 6, '^'),
                                      annotation(2, "c:3", 1, 1, dumpColumnLineEnd, 'X', "", true),
                                      annotation(3, "c:4", 1, 6, 7, '^'),
                                      annotation(4, "c:5", 1, 8, 9, '^')};
  std::string out = dump("abcdefghi\n", list, DumpRun{DumpFilter::All, 5, true}, true);
  EXPECT_NE(out.find(bold + cyanBack + "a" + reset + "bcdef" + cyanBack + "g" + reset + "h" +
                     cyanBack + "i " + reset + "\n"),
            std::string::npos)
      << out;
}

TEST(InputDump, VerboseWithoutColoursWritesNoEscapes) {
  std::string out = dump("abc\n", {annotation(0, "c:1", 1, 2, 3, '^')},
                         DumpRun{DumpFilter::All, 5, true}, false);
  EXPECT_EQ(out.find('\x1b'), std::string::npos) << out;
}

TEST(InputDumpHelp, PlainTextStartsAndEndsAsDocumented) {
  std::string out;
  StringOutputStream os(out);
  int32_t saved = colourPreference;
  colourPreference = ColourPreferenceFalse;
  printDumpHelp(os);
  colourPreference = saved;
  EXPECT_EQ(out.rfind("The following description was requested by -dump-input=help to\n", 0), 0u);
  EXPECT_NE(out.find("  - T:L'N  labels the Nth match result for such a pattern\n"),
            std::string::npos);
  const std::string last =
      "  - colors success, error, fuzzy match, discarded match, unmatched input\n";
  ASSERT_GE(out.size(), last.size());
  EXPECT_EQ(out.substr(out.size() - last.size()), last);
}

} // namespace

} // namespace ostrel
