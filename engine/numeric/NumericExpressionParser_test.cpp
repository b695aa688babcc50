#include "engine/numeric/NumericExpressionParser.h"

#include "engine/numeric/NumericTestSupport.h"
#include "engine/numeric/NumericVariable.h"
#include "engine/numeric/VariableContext.h"
#include "support/diag/DiagnosticError.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {

namespace {

using enum NumberKind;

// A context with a few known variables, and blocks registered as one-line
// buffers named "check" so that diagnostics can be compared whole.
class NumericBlockTest : public testing::Test {
protected:
  static constexpr size_t directiveLine = 7;

  void SetUp() override {
    define("VAR1", NumberFormat(Unsigned), NumericValue::fromUnsigned(10));
    define("VAR2", NumberFormat(Unsigned), NumericValue::fromUnsigned(3));
    define("HEX", NumberFormat(LowerHex), NumericValue::fromUnsigned(255));
    define("DEC", NumberFormat(Signed), NumericValue::fromSigned(-5));
    NumericVariable &same = context.makeNumericVariable("SAME", NumberFormat(Unsigned),
                                                        directiveLine);
    context.enterNumeric("SAME", same);
    context.markStringName("STR");
    context.createLineNumberVariable().setValue(NumericValue::fromUnsigned(directiveLine));
  }

  void define(TextRef name, NumberFormat format, NumericValue value) {
    NumericVariable &variable = context.makeNumericVariable(name, format);
    variable.setValue(value);
    context.enterNumeric(name, variable);
  }

  ValueOrError<ParsedNumericBlock> parse(const std::string &block, bool legacy = false) {
    TextRef text = addText(registry, block);
    return parseNumericBlock(text, legacy, directiveLine, context, registry);
  }

  // The whole diagnostic expected for `message` at byte `column` of `block`.
  static std::string diagnosticAt(const std::string &block, size_t column,
                                  const std::string &message) {
    return "check:1:" + std::to_string(column + 1) + ": error: " + message + "\n" + block +
           "\n" + std::string(column, ' ') + "^\n\n";
  }

  SourceRegistry registry;
  VariableContext context;
};

TEST_F(NumericBlockTest, EvaluatesExpressions) {
  struct Case {
    const char *block;
    NumericValue value;
  } cases[] = {
      {"1 + 2 * 3", NumericValue::fromUnsigned(9)}, // left to right, no precedence
      {"VAR1 + VAR2 * 2", NumericValue::fromUnsigned(26)},
      {"VAR1-VAR2", NumericValue::fromUnsigned(7)},
      {"VAR2 - VAR1", NumericValue::fromSigned(-7)},
      {"2 * (1 + 2)", NumericValue::fromUnsigned(6)},
      {"((VAR1))", NumericValue::fromUnsigned(10)},
      {"0x10", NumericValue::fromUnsigned(16)},
      {"0XfF", NumericValue::fromUnsigned(255)},
      {"010", NumericValue::fromUnsigned(8)},
      {"0b101", NumericValue::fromUnsigned(5)},
      {"0o17", NumericValue::fromUnsigned(15)},
      {"0", NumericValue()},
      {"-5", NumericValue::fromSigned(-5)},
      {"-9223372036854775808", NumericValue::fromSigned(INT64_MIN)},
      {"18446744073709551615", NumericValue::fromUnsigned(UINT64_MAX)},
      {"1--1", NumericValue::fromUnsigned(2)},
      {"add(1,2)", NumericValue::fromUnsigned(3)},
      {"sub(1, 2)", NumericValue::fromSigned(-1)},
      {"mul( add(1, 2) , 3 )", NumericValue::fromUnsigned(9)},
      {"div(7, -2)", NumericValue::fromSigned(-3)},
      {"max(VAR1, 20)", NumericValue::fromUnsigned(20)},
      {"min(-3, 2)", NumericValue::fromSigned(-3)},
      {"add(1 + 1, 2 * 2) + 1", NumericValue::fromUnsigned(7)},
      {"max (DEC, 3)", NumericValue::fromUnsigned(3)},
      {"== VAR1", NumericValue::fromUnsigned(10)},
      {"  ==VAR1\t ", NumericValue::fromUnsigned(10)},
      {"@LINE + 1", NumericValue::fromUnsigned(8)},
      {"%d, HEX + DEC", NumericValue::fromUnsigned(250)},
      {"%x,N:VAR1", NumericValue::fromUnsigned(10)},
  };
  for (const Case &c : cases) {
    ValueOrError<ParsedNumericBlock> parsed = parse(c.block);
    ASSERT_TRUE(parsed) << c.block << "\n" << printedErrors(parsed.takeError());
    ASSERT_TRUE(parsed->expression.hasRoot()) << c.block;
    ValueOrError<NumericValue> value = parsed->expression.evaluate();
    ASSERT_TRUE(value) << c.block << "\n" << printedErrors(value.takeError());
    EXPECT_EQ(*value, c.value) << c.block;
  }
}

TEST_F(NumericBlockTest, LegacyLineExpressions) {
  for (const char *block : {"@LINE", "@LINE+1", "@LINE - 2", "@LINE+010"}) {
    ValueOrError<ParsedNumericBlock> parsed = parse(block, /*legacy=*/true);
    ASSERT_TRUE(parsed) << block << "\n" << printedErrors(parsed.takeError());
    ValueOrError<NumericValue> value = parsed->expression.evaluate();
    ASSERT_TRUE(value);
    EXPECT_EQ(value->asSigned(), std::string(block) == "@LINE"       ? 7
                                 : std::string(block) == "@LINE+1"   ? 8
                                 : std::string(block) == "@LINE - 2" ? 5
                                                                     : 17)
        << block;
  }
}

TEST_F(NumericBlockTest, ResultFormats) {
  struct Case {
    const char *block;
    NumberFormat format;
    bool hasRoot;
  } cases[] = {
      {"", NumberFormat(Unsigned), false},
      {"%.8x,", NumberFormat(LowerHex, 8), false},
      {"%.3,", NumberFormat(Unsigned, 3), false},
      {"%.3, VAR1", NumberFormat(Unsigned), true}, // the variable's format wins
      {" %#X , 5", NumberFormat(UpperHex, 0, true), true},
      {"%d,VAR1", NumberFormat(Signed), true},
      {"%u,1", NumberFormat(Unsigned), true},
      {"5", NumberFormat(Unsigned), true},
      {"HEX + 1", NumberFormat(LowerHex), true},
      {"1 + HEX", NumberFormat(LowerHex), true},
      {"HEX * HEX", NumberFormat(LowerHex), true},
      {"max(2, DEC)", NumberFormat(Signed), true},
      {"(HEX)", NumberFormat(LowerHex), true},
  };
  for (const Case &c : cases) {
    ValueOrError<ParsedNumericBlock> parsed = parse(c.block);
    ASSERT_TRUE(parsed) << c.block << "\n" << printedErrors(parsed.takeError());
    EXPECT_EQ(parsed->expression.format(), c.format) << c.block;
    EXPECT_EQ(parsed->expression.hasRoot(), c.hasRoot) << c.block;
    EXPECT_EQ(parsed->definedVariable, nullptr);
  }
}

TEST_F(NumericBlockTest, Definitions) {
  ValueOrError<ParsedNumericBlock> hex = parse("%x,NEW:");
  ASSERT_TRUE(hex) << printedErrors(hex.takeError());
  ASSERT_NE(hex->definedVariable, nullptr);
  EXPECT_EQ(hex->definedVariable->name, "NEW");
  EXPECT_EQ(hex->definedVariable->format, NumberFormat(LowerHex));
  EXPECT_EQ(hex->definedVariable->definedOnLine, directiveLine);
  EXPECT_FALSE(hex->definedVariable->value);
  // Created and owned, but entering it under its name is the caller's job.
  EXPECT_EQ(context.lookupNumeric("NEW"), nullptr);
  EXPECT_EQ(context.ownedVariables.back().get(), hex->definedVariable);

  ValueOrError<ParsedNumericBlock> alternate = parse("%#X, ALT :  ==  VAR1 + 1");
  ASSERT_TRUE(alternate) << printedErrors(alternate.takeError());
  EXPECT_EQ(alternate->definedVariable->name, "ALT");
  EXPECT_EQ(alternate->definedVariable->format, NumberFormat(UpperHex, 0, true));

  // A known variable with an equal format is returned, not recreated.
  ValueOrError<ParsedNumericBlock> again = parse("%x, HEX:");
  ASSERT_TRUE(again) << printedErrors(again.takeError());
  EXPECT_EQ(again->definedVariable, context.lookupNumeric("HEX"));
  ValueOrError<ParsedNumericBlock> implicit = parse("HEX:HEX+1");
  ASSERT_TRUE(implicit) << printedErrors(implicit.takeError());
  EXPECT_EQ(implicit->definedVariable, context.lookupNumeric("HEX"));
}

TEST_F(NumericBlockTest, UnknownVariablesAreCreatedAndFailAtEvaluation) {
  ValueOrError<ParsedNumericBlock> parsed = parse("UNDEF + VAR1 * UNDEF2");
  ASSERT_TRUE(parsed) << printedErrors(parsed.takeError());
  NumericVariable *undefined = context.lookupNumeric("UNDEF");
  ASSERT_NE(undefined, nullptr);
  EXPECT_EQ(undefined->format, NumberFormat(Unsigned));
  ValueOrError<NumericValue> value = parsed->expression.evaluate();
  ASSERT_FALSE(value);
  // Both sides are evaluated; errors are joined left first.
  EXPECT_EQ(printedErrors(value.takeError()),
            "undefined variable: UNDEF\nundefined variable: UNDEF2\n");

  undefined->setValue(NumericValue::fromUnsigned(2));
  context.lookupNumeric("UNDEF2")->setValue(NumericValue::fromUnsigned(4));
  ValueOrError<NumericValue> later = parsed->expression.evaluate();
  ASSERT_TRUE(later);
  EXPECT_EQ(*later, NumericValue::fromUnsigned(48));
}

TEST_F(NumericBlockTest, OverflowAtEvaluation) {
  ValueOrError<ParsedNumericBlock> parsed = parse("18446744073709551615 + 1");
  ASSERT_TRUE(parsed);
  ValueOrError<NumericValue> value = parsed->expression.evaluate();
  ASSERT_FALSE(value);
  EXPECT_EQ(printedErrors(value.takeError()), "overflow error\n");
}

struct ErrorCase {
  std::string block;
  size_t column;
  std::string message;
  bool legacy = false;
};

TEST_F(NumericBlockTest, SyntaxErrors) {
  const ErrorCase cases[] = {
      // Format specifiers.
      {"%#,N:", 1, "alternate form only supported for hex values"},
      {"%#d,N:", 1, "alternate form only supported for hex values"},
      {"%#", 0, "invalid matching constraint or operand format"}, // no comma: an operand
      {"%#,", 1, "alternate form only supported for hex values"},
      {"VAR,1", 0, "invalid matching format specification in expression"},
      {" VAR ,1", 1, "invalid matching format specification in expression"},
      {",1", 0, "invalid matching format specification in expression"},
      {"%.x,1", 2, "invalid precision in format specifier"},
      {"%.,1", 2, "invalid precision in format specifier"},
      {"%.4294967296,1", 2, "invalid precision in format specifier"},
      {"%q,1", 1, "invalid format specifier in expression"},
      {"%.2 x,1", 3, "invalid format specifier in expression"},
      {"%dd,1", 2, "invalid matching format specification in expression"},
      {"%d x,1", 3, "invalid matching format specification in expression"},
      // Constraints and operands.
      {"==", 2, "empty numeric expression should not have a constraint"},
      {"N: == ", 6, "empty numeric expression should not have a constraint"},
      {"18446744073709551616", 0, "invalid matching constraint or operand format"},
      {"==18446744073709551616", 2, "invalid operand format"},
      {"-9223372036854775809", 0, "invalid matching constraint or operand format"},
      {"1 + 18446744073709551616", 4, "invalid operand format"},
      {"1 + $", 4, "invalid operand format"},
      {"08", 0, "invalid matching constraint or operand format"},
      {"0x", 0, "invalid matching constraint or operand format"},
      {"0b2", 0, "invalid matching constraint or operand format"},
      {"1 ^ 2", 2, "unsupported operation '^'"},
      {"1 2", 2, "unsupported operation '2'"},
      {"add 1", 4, "unsupported operation '1'"},
      {"1 +", 3, "missing operand in expression"},
      {"1 + ", 3, "missing operand in expression"},
      {"(", 1, "missing operand in expression"},
      {"( ", 1, "missing operand in expression"},
      {"(1+2", 4, "missing ')' at end of nested expression"},
      {"(1+2 3)", 5, "unsupported operation '3'"},
      {"@FOO", 0, "invalid pseudo numeric variable '@FOO'"},
      {"1 + @LINEX", 4, "invalid pseudo numeric variable '@LINEX'"},
      {"SAME + 1", 0, "numeric variable 'SAME' defined earlier in the same CHECK directive"},
      // Calls.
      {"max(1,2,3)", 0, "function 'max' takes 2 arguments but 3 given"},
      {"add()", 0, "function 'add' takes 2 arguments but 0 given"},
      {"min(1)", 0, "function 'min' takes 2 arguments but 1 given"},
      {"add(1,)", 6, "missing argument"},
      {"add(1, )", 7, "missing argument"},
      {"add(,1)", 4, "missing argument"},
      {"foo(1,2)", 0, "call to undefined function 'foo'"},
      {"1 + Add(1,2)", 4, "call to undefined function 'Add'"},
      {"add(1,2", 7, "missing ')' at end of call expression"},
      {"add(1,", 6, "missing ')' at end of call expression"},
      {"add(", 4, "missing ')' at end of call expression"},
      {"add(1 2)", 6, "unsupported operation '2'"},
      // Implicit formats: the text of an operation depends on where it stands.
      {"HEX + DEC", 0,
       "implicit format conflict between 'HEX' (%x) and 'DEC' (%d), need an explicit format "
       "specifier"},
      {"1 + HEX + DEC", 0,
       "implicit format conflict between '1 + HEX' (%x) and 'DEC' (%d), need an explicit "
       "format specifier"},
      {"1 + (HEX + DEC)", 9,
       "implicit format conflict between 'HEX' (%x) and 'DEC' (%d), need an explicit format "
       "specifier"},
      {"add(1, HEX * DEC)", 7,
       "implicit format conflict between 'HEX' (%x) and 'DEC' (%d), need an explicit format "
       "specifier"},
      {"max(HEX, DEC)", 0,
       "implicit format conflict between 'HEX' (%x) and 'DEC' (%d), need an explicit format "
       "specifier"},
      {"%.2,HEX - DEC", 4,
       "implicit format conflict between 'HEX' (%x) and 'DEC' (%d), need an explicit format "
       "specifier"},
      // Definitions.
      {"@X:", 0, "definition of pseudo numeric variable unsupported"},
      {"N 1:", 2, "unexpected characters after numeric variable name"},
      {"STR:", 0, "string variable with name 'STR' already exists"},
      {"HEX:1", 3, "format different from previous variable definition"},
      {"%X, HEX :", 8, "format different from previous variable definition"},
      {":1", 0, "empty variable name"},
      {"1x:", 0, "invalid variable name"},
      {" $:", 1, "invalid variable name"},
      // Legacy line expressions.
      {"@LINE+1+1", 7, "unexpected characters at end of expression '+1'", true},
      {"@LINE+0x1", 7, "unexpected characters at end of expression 'x1'", true},
      {"@LINE+(1)", 6, "parenthesized expression not permitted here", true},
      {"(@LINE)", 0, "parenthesized expression not permitted here", true},
      {"@LINE+N", 6, "invalid operand format", true},
      {"@LINE+-1", 6, "invalid operand format", true},
      {"@LINE(1)", 0, "unexpected function call", true},
      {"@LINE + add(1,2)", 8, "invalid operand format", true},
      {"1", 0, "invalid variable name", true},
      {"@LINE+", 6, "missing operand in expression", true},
  };
  for (const ErrorCase &c : cases) {
    ValueOrError<ParsedNumericBlock> parsed = parse(c.block, c.legacy);
    ASSERT_FALSE(parsed) << c.block;
    ErrorValue error = parsed.takeError();
    ASSERT_TRUE(error.isA<DiagnosticError>()) << c.block;
    EXPECT_EQ(printedErrors(std::move(error)), diagnosticAt(c.block, c.column, c.message))
        << c.block;
  }
}

TEST_F(NumericBlockTest, ErrorRanges) {
  struct Case {
    const char *block;
    size_t start, end; // offsets into the block
  } cases[] = {
      {"VAR,1", 0, 3},                 // over the specifier
      {"%dd ,1", 2, 3},                // from the stray character to the specifier's end
      {"1 + 18446744073709551616  ", 4, 24}, // operand to the end of the expression
      {"max(1,2,3)", 0, 3},            // over the function name
      {"add(1,  )", 8, 9},             // from the ")" to the end
      {"HEX + DEC ", 0, 9},            // over the operation's text
      {"N  x:", 3, 4},                 // rest of the definition
      {"==  ", 4, 4},                  // to the end of the block
      {"1 ^ 2", 2, 2},                 // empty
  };
  for (const Case &c : cases) {
    TextRef text = addText(registry, c.block);
    ValueOrError<ParsedNumericBlock> parsed =
        parseNumericBlock(text, false, directiveLine, context, registry);
    ASSERT_FALSE(parsed) << c.block;
    ErrorValue error = parsed.takeError();
    ASSERT_TRUE(error.isA<DiagnosticError>()) << c.block;
    auto *diag = static_cast<const DiagnosticError *>(error.payload());
    EXPECT_EQ(diag->range().start - text.data(), static_cast<ptrdiff_t>(c.start)) << c.block;
    EXPECT_EQ(diag->range().end - text.data(), static_cast<ptrdiff_t>(c.end)) << c.block;
    dropError(std::move(error));
  }
}

TEST_F(NumericBlockTest, HostileInputGivesErrorsNotCrashes) {
  // Nesting and tree depth are bounded so that parsing, evaluation and
  // destruction never recurse without limit.
  std::string nestedOk = std::string(maxExpressionDepth, '(') + "1" +
                         std::string(maxExpressionDepth, ')');
  ValueOrError<ParsedNumericBlock> ok = parse(nestedOk);
  ASSERT_TRUE(ok) << printedErrors(ok.takeError());

  std::string tooDeep = std::string(maxExpressionDepth + 1, '(') + "1" +
                        std::string(maxExpressionDepth + 1, ')');
  ErrorValue deep = parse(tooDeep).takeError();
  EXPECT_EQ(printedErrors(std::move(deep)),
            diagnosticAt(tooDeep, maxExpressionDepth, "numeric expression too deeply nested"));

  std::string calls;
  for (unsigned i = 0; i < 100000; ++i)
    calls += "add(1,";
  ErrorValue callError = parse(calls).takeError();
  EXPECT_NE(printedErrors(std::move(callError)).find("numeric expression too deeply nested"),
            std::string::npos);

  // A chain of operators nests nothing: only parentheses and calls count,
  // and a chain of any length parses, evaluates and is destroyed, at the top
  // level, inside parentheses and as a call's argument.
  std::string chain = "1";
  for (unsigned i = 0; i < 100000; ++i)
    chain += " + 1";
  const struct {
    std::string block;
    uint64_t value;
  } chains[] = {
      {chain, 100001},
      {"(" + chain + ")", 100001},
      {"add(" + chain + ", " + chain + ")", 200002},
      {"%d," + chain + " * 2 - 1 / 1", 200001},
      {std::string(maxExpressionDepth, '(') + chain + std::string(maxExpressionDepth, ')'), 100001},
  };
  for (const auto &c : chains) {
    ValueOrError<ParsedNumericBlock> parsed = parse(c.block);
    ASSERT_TRUE(parsed) << printedErrors(parsed.takeError());
    ValueOrError<NumericValue> value = parsed->expression.evaluate();
    ASSERT_TRUE(value);
    EXPECT_EQ(*value, NumericValue::fromUnsigned(c.value));
  }
  // Overflow anywhere in a long chain is still an overflow.
  ValueOrError<ParsedNumericBlock> overflowing = parse("18446744073709551000" + chain.substr(1));
  ASSERT_TRUE(overflowing);
  EXPECT_EQ(printedErrors(overflowing->expression.evaluate().takeError()), "overflow error\n");

  const std::string hostile[] = {
      std::string(100000, '9'),
      std::string("1\0", 2),
      std::string("\0", 1),
      std::string("add(1,\0)", 8),
      std::string(5000, ')'),
      std::string(5000, ','),
      "%" + std::string(100000, '9') + ",1",
      "%." + std::string(100000, '9') + ",1",
      std::string(100000, ':'),
      "0x" + std::string(100000, 'f'),
      "-" + std::string(100000, '0') + "1",
  };
  for (const std::string &block : hostile) {
    for (bool legacy : {false, true}) {
      ValueOrError<ParsedNumericBlock> parsed = parse(block, legacy);
      if (parsed) {
        if (parsed->expression.hasRoot())
          dropError(parsed->expression.evaluate().takeError());
      } else {
        dropError(parsed.takeError());
      }
    }
  }
  // A long run of zeros is still a number.
  ValueOrError<ParsedNumericBlock> zeros = parse("-" + std::string(100000, '0') + "1");
  ASSERT_TRUE(zeros);
  EXPECT_EQ(*zeros->expression.evaluate(), NumericValue::fromSigned(-1));
}

TEST(ParseVariableNameTest, Names) {
  struct Case {
    const char *text;
    const char *name; // null: error
    bool pseudo;
    const char *rest;
  } cases[] = {
      {"VAR", "VAR", false, ""},
      {"_a1 + 2", "_a1", false, " + 2"},
      {"$global:x", "$global", false, ":x"},
      {"@LINE+1", "@LINE", true, "+1"},
      {"a-b", "a", false, "-b"},
      {"x$", "x", false, "$"},
  };
  for (const Case &c : cases) {
    SourceRegistry registry;
    TextRef text = addText(registry, c.text);
    ValueOrError<ParsedVariableName> parsed = parseVariableName(text, registry);
    ASSERT_TRUE(parsed) << c.text;
    EXPECT_EQ(parsed->name, c.name);
    EXPECT_EQ(parsed->isPseudo, c.pseudo);
    EXPECT_EQ(text, c.rest);
  }
}

TEST(ParseVariableNameTest, Errors) {
  struct Case {
    const char *text;
    const char *diagnostic;
  } cases[] = {
      {"", "check:1:1: error: empty variable name\n\n^\n\n"},
      {"$", "check:1:1: error: invalid variable name\n$\n^\n\n"},
      {"@", "check:1:1: error: invalid variable name\n@\n^\n\n"},
      {"9a", "check:1:1: error: invalid variable name\n9a\n^\n\n"},
      {"$$a", "check:1:1: error: invalid variable name\n$$a\n^\n\n"},
      {" a", "check:1:1: error: invalid variable name\n a\n^\n\n"},
  };
  for (const Case &c : cases) {
    SourceRegistry registry;
    TextRef text = addText(registry, c.text);
    TextRef before = text;
    ValueOrError<ParsedVariableName> parsed = parseVariableName(text, registry);
    ASSERT_FALSE(parsed) << c.text;
    EXPECT_EQ(text, before); // not advanced
    ErrorValue error = parsed.takeError();
    auto *diag = static_cast<const DiagnosticError *>(error.payload());
    EXPECT_EQ(diag->range().end, before.data() + before.size()) << c.text;
    EXPECT_EQ(printedErrors(std::move(error)), c.diagnostic);
  }
}

} // namespace

} // namespace ostrel
