#include "engine/CheckPattern.h"
#include "engine/EngineErrors.h"
#include "support/diag/DiagnosticError.h"

#include "engine/DiagnosticSink.h"
#include "engine/MatchDiag.h"
#include "engine/numeric/VariableContext.h"
#include "support/fs/FileBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

namespace ostrel {

namespace {

/// Patterns parsed from texts registered as "check.txt", searched in texts
/// registered as "input.txt".
struct MatcherFixture : testing::Test {
  CheckOptions options;
  SourceRegistry registry;
  VariableContext context;
  std::deque<std::string> texts; // never moves what it holds

  MatcherFixture() { context.createLineNumberVariable(); }

  TextRef add(TextRef text, TextRef name) {
    texts.emplace_back(text);
    TextRef stored = texts.back();
    registry.addBuffer(viewText(stored, name));
    return stored;
  }
  CheckPattern parse(TextRef text, DirectiveType type = DirectiveType::Plain,
                     unsigned line = 1) {
    CheckPattern pattern(CheckKind(type), context, line);
    DiagnosticRecorder reports;
    ErrorValue rejected =
        pattern.parse(add(text, "check.txt"), "CHECK", registry, options, reports);
    EXPECT_FALSE(rejected) << reports.printed();
    dropError(std::move(rejected));
    return pattern;
  }
  TextRef input(TextRef text) { return add(text, "input.txt"); }
};

std::string messages(ErrorValue error) { return errorMessage(std::move(error)); }

/// Whether the search found something; drops the result's error.
bool found(SearchResult result) {
  dropError(std::move(result.error));
  return result.found;
}

} // namespace

TEST_F(MatcherFixture, ResemblanceComparesTheStartOfTheFirstLine) {
  CheckPattern fixed = parse("abcd");
  EXPECT_EQ(fixed.resemblanceDistance("abcdXYZ"), 0u);
  EXPECT_EQ(fixed.resemblanceDistance("ab\ncd"), 2u);
  EXPECT_EQ(fixed.resemblanceDistance(""), 4u);
  // A regular expression is compared as the text the parser assembled.
  CheckPattern regex = parse("a{{b}}");
  EXPECT_EQ(regex.regexText(), "a(b)");
  EXPECT_EQ(regex.resemblanceDistance("a(b)"), 0u);
}

TEST_F(MatcherFixture, FuzzyMatchRules) {
  CheckPattern pattern = parse("abcd");
  // The column of the proposed place, or 0 when nothing was proposed.
  auto proposed = [&](TextRef text) -> unsigned {
    std::vector<MatchDiag> records;
    DiagnosticRecorder reports;
    pattern.reportFuzzyMatch(registry, reports, input(text), &records);
    std::string printed = reports.printed();
    if (records.empty()) {
      EXPECT_EQ(printed, "");
      return 0;
    }
    EXPECT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].outcome, MatchOutcome::FuzzyMatch);
    EXPECT_EQ(records[0].inputStartColumn, records[0].inputEndColumn);
    EXPECT_NE(printed.find("note: possible intended match here\n"), std::string::npos);
    return records[0].inputStartColumn;
  };
  EXPECT_EQ(proposed("xxxx abce"), 6u);
  // Ties keep the earlier place; position 0 is never proposed.
  EXPECT_EQ(proposed("zz abce abce"), 4u);
  EXPECT_EQ(proposed("abce abce"), 0u);
  // Each line feed passed adds 0.01: after 100 lines a distance of 0 only
  // ties with a distance of 1 on the first line.
  EXPECT_EQ(proposed("z abce" + std::string(100, '\n') + "abcd"), 3u);
  EXPECT_EQ(proposed("z abce" + std::string(99, '\n') + "abcd"), 1u);
  // Only the first 4096 characters are considered.
  EXPECT_EQ(proposed(" " + std::string(5000, 'z') + "abcd"), 2u);

  // A quality of 50 or more is not good enough.
  CheckPattern longPattern = parse(std::string(50, 'a'));
  auto proposedLong = [&](TextRef text) {
    std::vector<MatchDiag> records;
    DiagnosticRecorder reports;
    longPattern.reportFuzzyMatch(registry, reports, input(text), &records);
    return records.size();
  };
  EXPECT_EQ(proposedLong(" " + std::string(50, 'b')), 0u);
  EXPECT_EQ(proposedLong(" " + std::string(49, 'b') + "a"), 1u);
}

TEST_F(MatcherFixture, FixedTextAndSpecialKinds) {
  options.ignoreCase = true;
  CheckPattern fixed = parse("foo");
  SearchResult found = fixed.match(input("a Foo"), registry);
  EXPECT_TRUE(found.found);
  EXPECT_EQ(found.pos, 2u);
  EXPECT_EQ(found.len, 3u);

  SearchResult missing = fixed.match(input("fo"), registry);
  EXPECT_FALSE(missing.found);
  EXPECT_TRUE(missing.error.isA<PatternNotFoundError>());
  dropError(std::move(missing.error));

  CheckPattern eof(CheckKind(DirectiveType::ImplicitEof), context);
  SearchResult atEnd = eof.match(input("abc"), registry);
  EXPECT_TRUE(atEnd.found);
  EXPECT_EQ(atEnd.pos, 3u);
  EXPECT_EQ(atEnd.len, 0u);

  // The match of an empty line starts on that line and has no length.
  CheckPattern empty = parse("", DirectiveType::Empty);
  SearchResult emptyLine = empty.match(input("\nx\n\ny"), registry);
  EXPECT_TRUE(emptyLine.found);
  EXPECT_EQ(emptyLine.pos, 3u);
  EXPECT_EQ(emptyLine.len, 0u);
}

TEST_F(MatcherFixture, RangeStartIsALineStart) {
  CheckPattern pattern = parse("{{^}}x", DirectiveType::Next);
  TextRef line = input("ax\nx");
  SearchResult result = pattern.match(line.substr(1), registry);
  EXPECT_TRUE(result.found);
  EXPECT_EQ(result.pos, 0u);
}

TEST_F(MatcherFixture, CapturedValuesAreInsertedLiterally) {
  CheckPattern define = parse("[[X:[a-z.]+]]");
  CheckPattern use = parse("<[[X]]>");
  SearchResult defined = define.match(input("42 a.b 7"), registry);
  ASSERT_TRUE(defined.found);
  EXPECT_EQ(context.stringValue("X"), "a.b");
  EXPECT_FALSE(found(use.match(input("<axb>"), registry)));
  SearchResult literal = use.match(input("<axb> <a.b>"), registry);
  EXPECT_TRUE(literal.found);
  EXPECT_EQ(literal.pos, 6u);
}

TEST_F(MatcherFixture, NumericCaptureReadBack) {
  CheckPattern pattern = parse("[[S:x]] [[#%X,N:]]");
  SearchResult ok = pattern.match(input("x 1F"), registry);
  EXPECT_TRUE(ok.found);
  NumericVariable *n = context.lookupNumeric("N");
  ASSERT_NE(n, nullptr);
  ASSERT_TRUE(n->value);
  EXPECT_EQ(n->value->word(), 31u);
  EXPECT_EQ(n->capturedText, "1F");

  // Seventeen hex digits do not fit: found, with the error; the string
  // capture has been stored all the same.
  SearchResult tooBig = pattern.match(input("x 11111111111111111"), registry);
  EXPECT_TRUE(tooBig.found);
  EXPECT_TRUE(tooBig.error.isA<DiagnosticError>());
  EXPECT_NE(messages(std::move(tooBig.error)).find("unable to represent numeric value"),
            std::string::npos);
  EXPECT_EQ(context.stringValue("S"), "x");
}

TEST_F(MatcherFixture, SubstitutionFailuresAreJoinedInOrder) {
  CheckPattern pattern = parse("[[A]] [[B]]");
  SearchResult result = pattern.match(input("a b"), registry);
  EXPECT_FALSE(result.found);
  std::string text = messages(std::move(result.error));
  size_t first = text.find("undefined variable: A");
  size_t second = text.find("undefined variable: B");
  EXPECT_NE(first, std::string::npos);
  EXPECT_NE(second, std::string::npos);
  EXPECT_LT(first, second);

  CheckPattern line = parse("x[[@LINE+1]]", DirectiveType::Plain, 7);
  EXPECT_TRUE(found(line.match(input("x8"), registry)));
  EXPECT_FALSE(found(line.match(input("x7"), registry)));
}

TEST_F(MatcherFixture, CompiledFormFollowsTheValues) {
  // The regex of a pattern is kept between searches; a new value of a
  // variable must still be searched for.
  CheckPattern define = parse("[[X:[a-z]+]]=");
  CheckPattern use = parse("<[[X]]>");
  ASSERT_TRUE(found(define.match(input("ab="), registry)));
  EXPECT_TRUE(found(use.match(input("<ab>"), registry)));
  ASSERT_TRUE(found(define.match(input("cd="), registry)));
  EXPECT_FALSE(found(use.match(input("<ab>"), registry)));
  EXPECT_TRUE(found(use.match(input("<ab> <cd>"), registry)));

  // Fixed text never goes through the regex engine.
  CheckPattern fixed = parse("plain");
  EXPECT_TRUE(found(fixed.match(input("a plain text"), registry)));
  EXPECT_EQ(fixed.regexCache, nullptr);

  options.ignoreCase = true;
  CheckPattern folded = parse("{{F}}oo");
  EXPECT_TRUE(found(folded.match(input("xfOo"), registry)));
}

TEST_F(MatcherFixture, WholeExpressionBeyondTheEngineIsALocatedPatternError) {
  // Every piece compiles on its own when read; the whole expression does not.
  const std::string nested = std::string(1000, '(') + "a" + std::string(1000, ')');
  // Two values that each fit but together pass the engine's program size;
  // the block keeps the pattern off the fixed-text search.
  const std::string longValue(2100000, 'v');
  struct Case {
    std::string pattern;
    bool matchFullLines;
  };
  const Case cases[] = {
      {"x{{" + nested + "}}y", false},
      {"[[V]]{{.}}[[V]]", true},
  };
  context.setStringValue("V", longValue);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.pattern.substr(0, 20));
    options.matchFullLines = c.matchFullLines;
    CheckPattern pattern = parse(c.pattern);
    SearchResult result = pattern.match(input("xay"), registry);
    EXPECT_FALSE(result.found);
    ASSERT_TRUE(result.error.isA<DiagnosticError>());
    auto *diag = static_cast<const DiagnosticError *>(result.error.payload());
    EXPECT_EQ(diag->diagnostic().location, pattern.location);
    EXPECT_EQ(diag->diagnostic().fileName, "check.txt");
    EXPECT_EQ(diag->messageText(),
              "unable to compile the pattern's regular expression: out of memory");
    dropError(std::move(result.error));
  }
}

TEST_F(MatcherFixture, FullLineTextFindsWhatItsExpressionFinds) {
  // A full-line pattern without blocks is searched as fixed text with the
  // line ends checked around it; the expression it stands for must agree.
  const char *inputs[] = {
      "foo bar\n",        "  foo bar  \n",      "xfoo bar\nfoo bar\n", "foo barx\n foo bar\n",
      "a\nfoo bar",       "foo bar foo bar\n",  "\n\nfoo  bar\n",      "FOO BAR\n",
      "foo bar\rx\n",     "a foo bar\nfoo bar", "",                    "foo ba\n",
  };
  for (bool strict : {false, true})
    for (bool ignoreCase : {false, true}) {
      options.matchFullLines = true;
      options.strictWhitespace = strict;
      options.ignoreCase = ignoreCase;
      CheckPattern fixed = parse("foo bar");
      ASSERT_FALSE(fixed.fullLineText().empty());
      CheckPattern expression = fixed;
      expression.editDetails().fullLineText = TextRef();
      for (const char *text : inputs) {
        TextRef range = input(text);
        SearchResult a = fixed.match(range, registry);
        SearchResult b = expression.match(range, registry);
        EXPECT_EQ(a.found, b.found) << text << strict << ignoreCase;
        if (a.found && b.found) {
          EXPECT_EQ(a.pos, b.pos) << text << strict << ignoreCase;
          EXPECT_EQ(a.len, b.len) << text << strict << ignoreCase;
        }
        dropError(std::move(a.error));
        dropError(std::move(b.error));
      }
    }
}

} // namespace ostrel
