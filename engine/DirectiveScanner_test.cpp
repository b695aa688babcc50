#include "engine/DirectiveScanner.h"

#include "engine/CheckEngine.h"
#include "engine/DiagnosticSink.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {

namespace {

/// The directives of `text` as "line kind directive|pattern" lines.
std::string scan(TextRef text, CheckOptions options) {
  DiagnosticRecorder reports;
  CheckEngine engine(options, reports);
  CompiledRegex matcher = engine.buildPrefixMatcher();
  std::string found;
  DirectiveScanner scanner(text, matcher, engine.options());
  FoundDirective directive;
  while (scanner.next(directive))
    found += std::to_string(directive.lineNumber) + " " +
             std::to_string(static_cast<int>(directive.kind.type)) + " " +
             std::string(directive.directive) + "|" + std::string(directive.patternText) + "\n";
  return found;
}

CheckOptions withPrefixes(std::vector<TextRef> check, std::vector<TextRef> comment) {
  CheckOptions options;
  options.checkPrefixes = std::move(check);
  options.commentPrefixes = std::move(comment);
  return options;
}

TEST(DirectiveScannerTest, FindsWhatTheReaderFindsAndGoesOnPastRejectedDirectives) {
  struct Case {
    const char *text;
    const char *found;
  };
  // Kinds: 1 Misspelled, 2 Plain, 3 Next, 5 Not, 9 Comment, 11 BadNot, 12 BadCount.
  const Case cases[] = {
      {"CHECK: a\nCHECK-NEXT:  b  \n", "1 2 CHECK:|a\n2 3 CHECK-NEXT:|b  \n"},
      {"CHECK_NEXT: a\nCHECK-COUNT-0: b\nCHECK-DAG-NOT: c\nCHECK: d",
       "1 1 CHECK_NEXT:|a\n2 12 CHECK-COUNT-0|: b\n3 11 CHECK-|DAG-NOT: c\n4 2 CHECK:|d\n"},
      {"xCHECK: a CHECKER: b -CHECK: c CHECK-NOT: d", "1 5 CHECK-NOT:|d\n"},
      {"COM: CHECK: a\nRUN-NOT: x CHECK: b", "1 9 COM:|CHECK: a\n2 2 CHECK:|b\n"},
      {"CHECK{\nLITERAL}: a\nCHECK: b", "1 2 CHECK{\nLITERAL}:|a\n3 2 CHECK:|b\n"},
      {"CHECK:", "1 2 CHECK:|\n"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(scan(c.text, withPrefixes({"CHECK"}, {"COM", "RUN"})), c.found) << c.text;
}

TEST(DirectiveScannerTest, TheLongestPrefixAtTheLeftmostPlaceWins) {
  CheckOptions options = withPrefixes({"A", "A-B", "AB"}, {"B"});
  EXPECT_EQ(scan("A-B: x\nAB-NOT: y\nB: z\nA: w", options),
            "1 2 A-B:|x\n2 5 AB-NOT:|y\n3 9 B:|z\n4 2 A:|w\n");
}

} // namespace

} // namespace ostrel
