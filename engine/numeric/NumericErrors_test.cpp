#include "engine/numeric/NumericErrors.h"

#include "engine/numeric/NumericExpressionParser.h"
#include "engine/numeric/NumericTestSupport.h"
#include "engine/numeric/Substitution.h"
#include "engine/numeric/VariableContext.h"
#include "support/diag/AlreadyReportedError.h"
#include "support/diag/DiagnosticError.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace ostrel {

namespace {

TEST(NumericErrorsTest, TextsKindsAndCodes) {
  struct Case {
    ErrorValue error;
    const char *text;
    std::error_code code;
  };
  Case cases[] = {
      {makeValueOverflowError(), "overflow error",
       std::error_code(EOVERFLOW, std::generic_category())},
      {makeUndefinedVariableError("VAR"), "undefined variable: VAR", inconvertibleErrorCode()},
  };
  for (Case &c : cases) {
    EXPECT_EQ(c.error.payload()->message(), c.text);
    EXPECT_EQ(c.error.payload()->toErrorCode(), c.code);
    dropError(std::move(c.error));
  }
  ErrorValue overflow = makeValueOverflowError();
  EXPECT_TRUE(overflow.isA<ValueOverflowError>());
  EXPECT_FALSE(overflow.isA<UndefinedVariableError>());
  EXPECT_FALSE(overflow.isA<DiagnosticError>());
  EXPECT_TRUE(overflow.payload()->isA(ErrorPayload::classKind()));
  dropError(std::move(overflow));
}

// Substitutions built the way the pattern parser builds them, from a check
// line in a registered buffer.
class SubstitutionTest : public testing::Test {
protected:
  void SetUp() override {
    line = addText(registry, "CHECK: [[X]] [[#N+1]] [[#18446744073709551615+1]] [[#1-2]] "
                             "[[#A*B]] [[#%x,N*16]] [[#%.3d,0-N]]");
  }
  TextRef block(TextRef written) { return line.substr(line.find(written), written.size()); }

  Substitution &numeric(TextRef written) {
    TextRef text = block(written);
    ValueOrError<ParsedNumericBlock> parsed =
        parseNumericBlock(text, false, 1, context, registry);
    EXPECT_TRUE(parsed);
    return context.addNumericSubstitution(text, std::move(parsed->expression), 0);
  }
  // The result, or the converted failure as printed.
  std::string outcome(const Substitution &substitution) {
    ValueOrError<std::string> result = substitution.result();
    if (result)
      return *result;
    return printedErrors(convertSubstitutionFailure(substitution, result.takeError(), registry));
  }

  SourceRegistry registry;
  VariableContext context;
  TextRef line;
};

TEST_F(SubstitutionTest, StringValuesAreEscaped) {
  Substitution &use = context.addStringSubstitution(block("X"), 7);
  EXPECT_EQ(use.text(), "X");
  EXPECT_EQ(use.insertAt(), 7u);
  EXPECT_EQ(&use.context(), &context);
  EXPECT_EQ(outcome(use), "check:1:10: error: undefined variable: X\n"
                          "CHECK: [[X]] [[#N+1]] [[#18446744073709551615+1]] [[#1-2]] [[#A*B]] "
                          "[[#%x,N*16]] [[#%.3d,0-N]]\n"
                          "         ^\n\n");
  context.setStringValue("X", TextRef("a.b*(c)[d]{e}|f^$\\+?"));
  EXPECT_EQ(outcome(use), "a\\.b\\*\\(c\\)\\[d\\]\\{e\\}\\|f\\^\\$\\\\\\+\\?");
  context.setStringValue("X", TextRef("nul\0", 4));
  EXPECT_EQ(outcome(use), std::string("nul\\\0", 5));
}

TEST_F(SubstitutionTest, NumericValuesAndConvertedFailures) {
  const std::string quoted = std::string(line) + "\n";
  Substitution &useN = numeric("N+1");
  EXPECT_EQ(useN.text(), "N+1");
  EXPECT_EQ(outcome(useN), "check:1:17: error: undefined variable: N\n" + quoted +
                               std::string(16, ' ') + "^\n\n");
  EXPECT_EQ(outcome(numeric("18446744073709551615+1")),
            "check:1:26: error: unable to substitute variable or numeric expression: overflow "
            "error\n" +
                quoted + std::string(25, ' ') + "^\n\n");
  // -1 cannot be written unsigned.
  EXPECT_EQ(outcome(numeric("1-2")),
            "check:1:54: error: unable to substitute variable or numeric expression: overflow "
            "error\n" +
                quoted + std::string(53, ' ') + "^\n\n");
  // Several joined failures pass unchanged.
  EXPECT_EQ(outcome(numeric("A*B")), "undefined variable: A\nundefined variable: B\n");

  context.lookupNumeric("N")->setValue(NumericValue::fromUnsigned(41));
  EXPECT_EQ(outcome(useN), "42");
  EXPECT_EQ(outcome(numeric("%x,N*16")), "290");
  EXPECT_EQ(outcome(numeric("%.3d,0-N")), "-041");
}

TEST_F(SubstitutionTest, OtherFailuresPassUnchanged) {
  Substitution &use = context.addStringSubstitution(block("X"), 0);
  ErrorValue diagnostic = DiagnosticError::make(registry, line.data(), "kept", SourceRange(),
                                                DiagnosticKind::InvalidPattern);
  ErrorValue converted = convertSubstitutionFailure(use, std::move(diagnostic), registry);
  ASSERT_TRUE(converted.isA<DiagnosticError>());
  EXPECT_EQ(static_cast<const DiagnosticError *>(converted.payload())->messageText(), "kept");
  dropError(std::move(converted));
  ErrorValue reported =
      convertSubstitutionFailure(use, makeAlreadyReportedError(), registry);
  EXPECT_TRUE(reported.isA<AlreadyReportedError>());
  dropError(std::move(reported));
}

} // namespace

} // namespace ostrel
