#include "engine/CheckEngine.h"

#include "engine/CheckRunTestSupport.h"
#include "engine/numeric/Substitution.h"
#include "engine/numeric/VariableContext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <memory>
#include <string>
#include <vector>

namespace ostrel {

namespace {

// The reader's message for a -COUNT suffix it cannot read, as the user sees it.
const std::string badCountMessage = "invalid count in -COUNT specification on prefix 'CHECK'";

class CheckFileReaderTest : public testing::Test {
protected:
  /// Prepares `text`, registers it as "check.txt" and reads it. `errors`
  /// receives what the reader reported.
  bool read(TextRef text, std::string &errors) {
    reports.clear();
    engine = std::make_unique<CheckEngine>(options, reports);
    expectSuccess(engine->verifyPrefixes(), reports);
    CompiledRegex matcher = engine->buildPrefixMatcher();
    std::string &store = stores.emplace_back();
    checkText = engine->prepareText(text, store);
    registry.addBuffer(viewText(checkText, "check.txt"));
    ErrorValue failed = engine->parseCheckText(registry, checkText, matcher, &implicitRange);
    errors = reports.printed();
    const bool rejected = failed.isError();
    dropError(std::move(failed));
    return rejected;
  }

  /// Reads `text`, expecting success.
  const std::vector<CheckStep> &readOk(TextRef text) {
    std::string errors;
    EXPECT_FALSE(read(text, errors)) << text << "\n" << errors;
    EXPECT_EQ(errors, "") << text;
    return engine->steps();
  }

  /// Reads `text`, expecting failure; returns the first line written.
  std::string firstError(TextRef text) {
    std::string errors;
    EXPECT_TRUE(read(text, errors)) << text;
    return errors.substr(0, errors.find('\n'));
  }

  /// Offset of a location in the prepared check text.
  size_t offsetOf(SourceLocation location) const {
    return static_cast<size_t>(location - checkText.data());
  }

  CheckOptions options;
  DiagnosticRecorder reports;
  SourceRegistry registry;
  std::list<std::string> stores;
  std::unique_ptr<CheckEngine> engine;
  TextRef checkText;
  std::pair<unsigned, unsigned> implicitRange{99, 99};
};

/// "Plain", "Plain*3", "Next{LITERAL}" ...: a step's kind in short.
std::string kindOf(const CheckPattern &pattern) {
  static const char *const names[] = {"Invalid", "Misspelled", "Plain", "Next", "Same",
                                      "Not", "Dag", "Label", "Empty", "Comment",
                                      "ImplicitEof", "BadNot", "BadCount"};
  std::string text = names[static_cast<int>(pattern.kind.type)];
  if (pattern.kind.count != 1)
    text += "*" + std::to_string(pattern.kind.count);
  if (pattern.kind.literal())
    text += "{LITERAL}";
  return text;
}

/// The steps in short: "Kind:text" per positive pattern, with the NOT and DAG
/// patterns of a step in brackets in front of it.
std::string summary(const std::vector<CheckStep> &steps) {
  std::string text;
  for (const CheckStep &step : steps) {
    if (!text.empty())
      text += " ";
    if (!step.implicitNots().empty() || !step.dagNotPatterns.empty()) {
      text += "[";
      for (const auto *list : {&step.implicitNots(), &step.dagNotPatterns})
        for (const CheckPattern &p : *list)
          text += kindOf(p) + ":" + std::string(p.fixedText.empty() ? p.regexText() : p.fixedText) +
                  ";";
      text += "]";
    }
    text += kindOf(step.pattern) + ":" +
            std::string(step.pattern.fixedText.empty() ? step.pattern.regexText()
                                                        : step.pattern.fixedText);
  }
  return text;
}

} // namespace

TEST_F(CheckFileReaderTest, ClassifiesDirectives) {
  const struct {
    const char *text;
    const char *steps;
  } cases[] = {
      {"CHECK: foo", "Plain:foo"},
      {"CHECK:foo", "Plain:foo"},
      {"CHECK:  \t foo  ", "Plain:foo"},
      {"CHECK-COUNT-1: x", "Plain:x"},
      {"CHECK-COUNT-3: x", "Plain*3:x"},
      {"CHECK-COUNT-2147483647: x", "Plain*2147483647:x"},
      {"CHECK-COUNT-007{LITERAL}: x", "Plain*7{LITERAL}:x"},
      {"CHECK{LITERAL}: [[x", "Plain{LITERAL}:[[x"},
      {"CHECK{LITERAL,LITERAL}: x", "Plain{LITERAL}:x"},
      {"CHECK: a\nCHECK-NEXT{ LITERAL }: {{b", "Plain:a Next{LITERAL}:{{b"},
      {"CHECK: a\nCHECK-NEXT{\tLITERAL ,\fLITERAL\r}: b", "Plain:a Next{LITERAL}:b"},
      {"CHECK: a\nCHECK-SAME: b\nCHECK-EMPTY:\nCHECK-LABEL: c", "Plain:a Same:b Empty:(\n$) Label:c"},
      {"CHECK-NOT: a\nCHECK-DAG: b\nCHECK: c", "[Not:a;Dag:b;]Plain:c"},
      {"CHECK: a\nCHECK-NOT: b", "Plain:a [Not:b;]ImplicitEof:"},
      // Not directives: no word character before the prefix, a known suffix,
      // a colon.
      {"xCHECK: a\n-CHECK: b\nCHECKER: c\nCHECK_: d\nCHECK: e", "Plain:e"},
      {"CHECK{FOO}: a\nCHECK{LITERAL} b\nCHECK-NOTE: c\nCHECK: e", "Plain:e"},
      {"CHECK-NOT-DAG{LITERAL}: a\nCHECK-: b\nCHECK-COUNT: c\nCHECK: e", "Plain:e"},
      {"CHECK{LITERAL: a\nCHECK{LITERAL,}: b\nCHECK{}: c\nCHECK: e", "Plain:e"},
      {"COM-NOT: x CHECK: y", "Plain:y"},
      {"COM{LITERAL}: x\nCOM: CHECK: a\nRUN: CHECK: b\nCHECK: c", "Plain:c"},
      {"CHECK: foo CHECK: bar", "Plain:foo CHECK: bar"},
      {".CHECK: a", "Plain:a"},
  };
  for (const auto &c : cases) {
    engine.reset();
    EXPECT_EQ(summary(readOk(c.text)), c.steps) << c.text;
  }
}

TEST_F(CheckFileReaderTest, StrictFullLinesKeepBlanksAfterTheColon) {
  options.strictWhitespace = true;
  options.matchFullLines = true;
  EXPECT_EQ(summary(readOk("CHECK:  foo \t\nCHECK-NOT: \tx ")), "Plain:^  foo \t$ [Not: \tx ;]ImplicitEof:");
  options.strictWhitespace = false;
  EXPECT_EQ(summary(readOk("CHECK:  foo \t\nCHECK-NOT: \tx ")), "Plain:^ *foo *$ [Not:x;]ImplicitEof:");
}

TEST_F(CheckFileReaderTest, LongestPrefixWins) {
  options.checkPrefixes = {"A", "A-B"};
  options.allowUnusedPrefixes = true;
  const std::vector<CheckStep> &steps = readOk("A-B: x\nA-NEXT: y");
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[0].prefix, "A-B");
  EXPECT_EQ(steps[1].prefix, "A");
  EXPECT_EQ(summary(steps), "Plain:x Next:y");
}

TEST_F(CheckFileReaderTest, ReportsEachErrorAtItsPlace) {
  const struct {
    const char *text;
    const char *error;
  } cases[] = {
      {"CHECK_NEXT: x", "check.txt:1:1: error: misspelled directive 'CHECK_NEXT:'"},
      {"a\n CHECK_COUNT-2{LITERAL}: x",
       "check.txt:2:2: error: misspelled directive 'CHECK_COUNT-2{LITERAL}:'"},
      {"CHECK_DAG-NOT: x", "check.txt:1:1: error: misspelled directive 'CHECK_'"},
      {"CHECK-DAG-NOT: x", "check.txt:1:7: error: unsupported -NOT combo on prefix 'CHECK'"},
      {"CHECK-NOT-EMPTY: x", "check.txt:1:7: error: unsupported -NOT combo on prefix 'CHECK'"},
      {"CHECK-NEXT: x", "check.txt:1:1: error: found 'CHECK-NEXT' without previous 'CHECK: line"},
      {"CHECK-NOT: a\n  CHECK-EMPTY:",
       "check.txt:2:2: error: found 'CHECK-EMPTY' without previous 'CHECK: line"},
      {"CHECK-DAG: a\nCHECK-SAME: b",
       "check.txt:2:1: error: found 'CHECK-SAME' without previous 'CHECK: line"},
      {"x CHECK-LABEL: [[X:foo]]",
       "check.txt:1:3: error: found 'CHECK-LABEL:' with variable definition or use"},
      {"CHECK-LABEL: a[[X]]",
       "check.txt:1:1: error: found 'CHECK-LABEL:' with variable definition or use"},
      {"CHECK: a\nCHECK:   \nCHECK: b",
       "check.txt:2:8: error: found empty check string with prefix 'CHECK:'"},
      {"CHECK: a\nCHECK-EMPTY: b",
       "check.txt:2:14: error: found non-empty check string for empty check with prefix 'CHECK:'"},
      {"CHECK: {{a", "check.txt:1:8: error: found start of regex string with no end '}}'"},
      {"COM: x\nRUN: y", "error: no check strings found with prefix 'CHECK:'"},
      {"", "error: no check strings found with prefix 'CHECK:'"},
  };
  for (const auto &c : cases) {
    engine.reset();
    EXPECT_EQ(firstError(c.text), c.error) << c.text;
  }
}

TEST_F(CheckFileReaderTest, ReportsABadCountWhereTheCountEnds) {
  const struct {
    const char *text;
    int column;
  } cases[] = {
      {"CHECK-COUNT-0: x", 14},          {"CHECK-COUNT--1: x", 15},
      {"CHECK-COUNT-2147483648: x", 23}, {"CHECK-COUNT-2x: x", 14},
      {"CHECK-COUNT-: x", 13},           {"CHECK-COUNT-99999999999999999999: x", 13},
      {"CHECK-COUNT-5", 14},
  };
  for (const auto &c : cases) {
    engine.reset();
    EXPECT_EQ(firstError(c.text), "check.txt:1:" + std::to_string(c.column) + ": error: " +
                                      badCountMessage)
        << c.text;
  }
}

TEST_F(CheckFileReaderTest, ErrorsQuoteTheDirectiveLine) {
  std::string errors;
  EXPECT_TRUE(read("CHECK: a\n\tCHECK-COUNT-x: b\n", errors));
  EXPECT_EQ(errors, "check.txt:2:14: error: " + badCountMessage +
                        "\n CHECK-COUNT-x: b\n             ^\n");
}

TEST_F(CheckFileReaderTest, LabelMayUseANumericCaptureAndLabelCountsAsPreviousLine) {
  EXPECT_EQ(summary(readOk("CHECK-LABEL: a\nCHECK-NEXT: b")), "Label:a Next:b");
  const std::vector<CheckStep> &steps = readOk("CHECK-LABEL: n[[#N:]]");
  ASSERT_EQ(steps.size(), 1u);
  EXPECT_EQ(steps[0].pattern.numericDefs().size(), 1u);
}

TEST_F(CheckFileReaderTest, ReportsUnusedPrefixes) {
  options.checkPrefixes = {"B", "A"};
  EXPECT_EQ(firstError("A: x"), "error: no check strings found with prefix 'B:'");
  EXPECT_EQ(firstError("C: x"), "error: no check strings found with prefixes 'A:', 'B:'");
  EXPECT_EQ(summary(readOk("A: x\nB: y\nCOM: z\nC-NOT: x")), "Plain:x Plain:y");
  options.allowUnusedPrefixes = true;
  EXPECT_EQ(summary(readOk("A: x")), "Plain:x");
  EXPECT_EQ(firstError("C: x"), "error: no check strings found with prefixes 'A:', 'B:'");
}

TEST_F(CheckFileReaderTest, ImplicitPatternsPrecedeEveryStep) {
  options.implicitCheckNot = {"foo", "b{{a}}r"};
  const std::vector<CheckStep> &steps = readOk("CHECK-DAG: d\nCHECK: x\nCHECK: y");
  EXPECT_EQ(summary(steps), "[Not:foo;Not:b(a)r;Dag:d;]Plain:x [Not:foo;Not:b(a)r;]Plain:y "
                            "[Not:foo;Not:b(a)r;]ImplicitEof:");
  ASSERT_EQ(implicitRange.second - implicitRange.first, 2u);
  const FileBuffer &first = registry.buffer(implicitRange.first);
  EXPECT_EQ(first.bufferName(), "command line");
  EXPECT_EQ(first.text(), "-implicit-check-not='foo'");
  EXPECT_EQ(steps[0].implicitNots()[0].location, first.text().data() + 21);
  EXPECT_FALSE(steps[0].implicitNots()[0].lineNumber.has_value());
  // One list, held once, for every step.
  EXPECT_EQ(steps[0].implicitNotPatterns, steps[2].implicitNotPatterns);
  EXPECT_EQ(registry.buffer(implicitRange.first + 1).text(), "-implicit-check-not='b{{a}}r'");
}

TEST_F(CheckFileReaderTest, ImplicitPatternsAloneNeedTheDefaultPrefix) {
  options.implicitCheckNot = {"foo"};
  const std::vector<CheckStep> &steps = readOk("nothing here\n");
  EXPECT_EQ(summary(steps), "[Not:foo;]ImplicitEof:");
  EXPECT_EQ(steps[0].prefix, "CHECK");
  EXPECT_EQ(offsetOf(steps[0].location), 0u);

  options.checkPrefixes = {"CHECK"};
  EXPECT_EQ(firstError("nothing here\n"), "error: no check strings found with prefix 'CHECK:'");
}

TEST_F(CheckFileReaderTest, EmptyImplicitPatternIsRejected) {
  options.implicitCheckNot = {"a", ""};
  EXPECT_EQ(firstError("CHECK: x"),
            "command line:1:22: error: found empty check string with prefix 'IMPLICIT-CHECK:'");
  EXPECT_EQ(implicitRange.second - implicitRange.first, 2u);
}

TEST_F(CheckFileReaderTest, EndOfInputStepStartsWhereTheLastSearchBegan) {
  const std::vector<CheckStep> &steps = readOk("CHECK: a\nCHECK-NOT: b\nmore text\n");
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[1].pattern.kind.type, DirectiveType::ImplicitEof);
  EXPECT_EQ(steps[1].prefix, "CHECK");
  EXPECT_EQ(offsetOf(steps[1].location), 21u); // the line feed after "b"
  EXPECT_EQ(steps[1].pattern.location, nullptr);
  EXPECT_EQ(steps[1].pattern.lineNumber, 3u);
  EXPECT_EQ(summary(readOk("CHECK: a\nCHECK: b\n")), "Plain:a Plain:b");
}

TEST_F(CheckFileReaderTest, StepsPointIntoTheCheckText) {
  const std::vector<CheckStep> &two = readOk("CHECK: a\n  X CHECK-SAME:x\r\nCHECK: y");
  ASSERT_EQ(two.size(), 3u);
  EXPECT_EQ(offsetOf(two[1].location), 23u);
  EXPECT_EQ(two[1].location, two[1].pattern.location);
  EXPECT_EQ(offsetOf(two[1].prefix.data()), 12u);
  EXPECT_EQ(two[1].pattern.lineNumber, 2u);
  EXPECT_EQ(two[2].pattern.lineNumber, 3u);
}

TEST_F(CheckFileReaderTest, LineNumbersCountLineFeedsInsideModifierLists) {
  const std::vector<CheckStep> &steps =
      readOk("CHECK{LITERAL,\nLITERAL}: a\nCHECK-NEXT{\n\n LITERAL\n}: b\nCHECK: [[@LINE]] c\n"
             "CHECK: x CHECK{\nLITERAL}: y\nCHECK: z");
  ASSERT_EQ(steps.size(), 5u);
  const unsigned lines[] = {1, 3, 7, 8, 10};
  for (size_t i = 0; i < 5; ++i)
    EXPECT_EQ(steps[i].pattern.lineNumber, lines[i]) << i;
  for (const CheckStep &step : steps)
    EXPECT_EQ(registry.lineNumber(step.prefix.data()), *step.pattern.lineNumber);
}

TEST_F(CheckFileReaderTest, CommandLineDefinitionsComeFirst) {
  options.defines = {"V=1", "#N=2"};
  readOk("CHECK: [[V]] [[#N]]");
  EXPECT_EQ(engine->context().stringValue("V"), TextRef("1"));
  ASSERT_NE(engine->context().lineNumberVariable, nullptr);

  engine.reset();
  options.defines = {"#N=x"};
  EXPECT_EQ(firstError("CHECK: a"), "undefined variable: x");
}

// Odd bytes, missing line ends and directives cut off at the end of the text
// give steps or a located error, and never a read past the text.
TEST_F(CheckFileReaderTest, HandlesTruncatedAndOddInput) {
  EXPECT_EQ(summary(readOk(TextRef("\0CHECK: a\0b\0\nCHECK-NEXT:\0", 25))),
            std::string("Plain:a\0b\0 Next:\0", 17));
  EXPECT_EQ(summary(readOk("CHECK: a\nCHECK-EMPTY:")), "Plain:a Empty:(\n$)");
  EXPECT_EQ(firstError("CHECK: a\nCHECK:"),
            "check.txt:2:7: error: found empty check string with prefix 'CHECK:'");
  EXPECT_EQ(firstError("CHECK-COUNT-3:"),
            "check.txt:1:15: error: found empty check string with prefix 'CHECK:'");
  EXPECT_EQ(firstError("CHECK{LITERAL}:"),
            "check.txt:1:16: error: found empty check string with prefix 'CHECK:'");
  EXPECT_EQ(firstError("CHECK-COUNT-"), "check.txt:1:13: error: " + badCountMessage);
  for (const char *cut : {"CHECK", "CHECK-", "CHECK-NEXT", "CHECK{", "CHECK{LITERAL", "CHECK{LITERAL}",
                          "CHECK_", "COM"})
    EXPECT_EQ(firstError(cut).substr(0, 31), "error: no check strings found w") << cut;
  EXPECT_EQ(summary(readOk("CHECK: a\nCHECK")), "Plain:a");
  EXPECT_EQ(firstError("CHECK: [[X"),
            "check.txt:1:8: error: Invalid substitution block, no ]] found");
  EXPECT_EQ(firstError("CHECK: [[[[["),
            "check.txt:1:11: error: Invalid substitution block, no ]] found");
  EXPECT_EQ(firstError("CHECK: [[X:\\"),
            "check.txt:1:8: error: Invalid substitution block, no ]] found");
}

TEST_F(CheckFileReaderTest, HandlesVeryLongLines) {
  std::string text(10 << 20, 'x');
  text += "\nCHECK: [[Y:";
  text += std::string(100000, '[');
  text += "\nCHECK: ok";
  EXPECT_EQ(firstError(text), "check.txt:2:8: error: Invalid substitution block, no ]] found");

  text = "CHECK: a" + std::string(10 << 20, ' ') + "b\n" + std::string(10 << 20, 'C') + "CHECK: z";
  const std::vector<CheckStep> &steps = readOk(text);
  EXPECT_EQ(summary(steps), "Plain:a b");
}

} // namespace ostrel
