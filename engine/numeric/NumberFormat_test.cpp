#include "engine/numeric/NumberFormat.h"

#include "engine/numeric/NumericErrors.h"
#include "engine/numeric/NumericTestSupport.h"
#include "support/diag/DiagnosticError.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace ostrel {

namespace {

using enum NumberKind;

TEST(NumberFormatTest, EqualityNeedsAChosenKind) {
  EXPECT_EQ(NumberFormat(LowerHex, 2, true), NumberFormat(LowerHex, 2, true));
  EXPECT_NE(NumberFormat(LowerHex, 2, true), NumberFormat(LowerHex, 2, false));
  EXPECT_NE(NumberFormat(LowerHex), NumberFormat(UpperHex));
  EXPECT_NE(NumberFormat(Signed, 1), NumberFormat(Signed, 2));
  EXPECT_NE(NumberFormat(None), NumberFormat(None));
  NumberFormat none;
  EXPECT_FALSE(none == none);
}

TEST(NumberFormatTest, KindNames) {
  EXPECT_EQ(numberKindName(None), "<none>");
  EXPECT_EQ(numberKindName(Unsigned), "%u");
  EXPECT_EQ(numberKindName(Signed), "%d");
  EXPECT_EQ(numberKindName(UpperHex), "%X");
  EXPECT_EQ(numberKindName(LowerHex), "%x");
}

TEST(NumberFormatTest, Wildcards) {
  struct Case {
    NumberFormat format;
    const char *expected;
  } cases[] = {
      {{Unsigned}, "[0-9]+"},
      {{Signed}, "-?[0-9]+"},
      {{UpperHex}, "[0-9A-F]+"},
      {{LowerHex}, "[0-9a-f]+"},
      {{Unsigned, 3}, "([1-9][0-9]*)?[0-9]{3}"},
      {{Signed, 12}, "-?([1-9][0-9]*)?[0-9]{12}"},
      {{UpperHex, 1}, "([1-9A-F][0-9A-F]*)?[0-9A-F]{1}"},
      {{LowerHex, 8, true}, "0x([1-9a-f][0-9a-f]*)?[0-9a-f]{8}"},
      {{UpperHex, 0, true}, "0x[0-9A-F]+"},
      {{Unsigned, 4294967295u}, "([1-9][0-9]*)?[0-9]{4294967295}"},
  };
  for (const Case &c : cases) {
    ValueOrError<std::string> wildcard = numberWildcard(c.format);
    ASSERT_TRUE(wildcard);
    EXPECT_EQ(*wildcard, c.expected);
  }
}

TEST(NumberFormatTest, KindNoneIsAnInvalidArgument) {
  for (int which = 0; which < 2; ++which) {
    ValueOrError<std::string> result = which == 0
                                           ? numberWildcard(NumberFormat())
                                           : formatValue(NumberFormat(), NumericValue());
    ASSERT_FALSE(result);
    ErrorValue error = result.takeError();
    ASSERT_TRUE(error.isA<TextError>());
    EXPECT_EQ(error.payload()->message(), "trying to match value with invalid format");
    EXPECT_EQ(error.payload()->toErrorCode(), std::error_code(EINVAL, std::generic_category()));
    dropError(std::move(error));
  }
}

TEST(NumberFormatTest, FormatValue) {
  const NumericValue minSigned = NumericValue::fromSigned(INT64_MIN);
  struct Case {
    NumberFormat format;
    NumericValue value;
    const char *expected; // null: overflow
  } cases[] = {
      {{LowerHex, 4, true}, NumericValue::fromUnsigned(255), "0x00ff"},
      {{UpperHex, 4, true}, NumericValue::fromUnsigned(255), "0x00FF"},
      {{UpperHex}, NumericValue::fromUnsigned(UINT64_MAX), "FFFFFFFFFFFFFFFF"},
      {{Signed, 3}, NumericValue::fromSigned(-5), "-005"},
      {{Signed}, minSigned, "-9223372036854775808"},
      {{Signed}, NumericValue::fromUnsigned(INT64_MAX), "9223372036854775807"},
      {{Signed}, NumericValue::fromUnsigned(uint64_t(1) << 63), nullptr},
      {{Unsigned, 2}, NumericValue::fromUnsigned(12345), "12345"},
      {{Unsigned}, NumericValue::fromUnsigned(UINT64_MAX), "18446744073709551615"},
      {{Unsigned}, NumericValue(), "0"},
      {{Unsigned, 3}, NumericValue(), "000"},
      {{LowerHex, 0, true}, NumericValue(), "0x0"},
      {{Unsigned}, NumericValue::fromSigned(-1), nullptr},
      {{LowerHex}, NumericValue::fromSigned(-1), nullptr},
      {{UpperHex}, minSigned, nullptr},
      {{Unsigned, 4294967295u}, NumericValue(), nullptr}, // no 4 GB of zeros
  };
  for (const Case &c : cases) {
    ValueOrError<std::string> text = formatValue(c.format, c.value);
    if (!c.expected) {
      ASSERT_FALSE(text) << *text;
      ErrorValue error = text.takeError();
      EXPECT_TRUE(error.isA<ValueOverflowError>());
      dropError(std::move(error));
      continue;
    }
    ASSERT_TRUE(text) << c.expected;
    EXPECT_EQ(*text, c.expected);
  }
  ValueOrError<std::string> wide =
      formatValue(NumberFormat(Unsigned, maxFormattedDigits), NumericValue::fromUnsigned(7));
  ASSERT_TRUE(wide);
  EXPECT_EQ(wide->size(), maxFormattedDigits);
  EXPECT_EQ(wide->back(), '7');
}

TEST(NumberFormatTest, ParseValue) {
  struct Case {
    NumberFormat format;
    const char *text;
    NumericValue expected;
  } cases[] = {
      {{Unsigned}, "0", NumericValue()},
      {{Unsigned}, "18446744073709551615", NumericValue::fromUnsigned(UINT64_MAX)},
      {{Unsigned, 5}, "00042", NumericValue::fromUnsigned(42)},
      {{Signed}, "-9223372036854775808", NumericValue::fromSigned(INT64_MIN)},
      {{Signed}, "9223372036854775807", NumericValue::fromSigned(INT64_MAX)},
      {{Signed}, "-0", NumericValue()},
      {{Signed}, "-005", NumericValue::fromSigned(-5)},
      {{UpperHex, 0, true}, "0x1F", NumericValue::fromUnsigned(31)},
      {{UpperHex}, "ffffFFFFffffFFFF", NumericValue::fromUnsigned(UINT64_MAX)},
      {{LowerHex}, "Ab", NumericValue::fromUnsigned(171)},
  };
  for (const Case &c : cases) {
    SourceRegistry registry;
    TextRef text = addText(registry, c.text, "input");
    ValueOrError<NumericValue> value = parseValue(c.format, text, registry);
    ASSERT_TRUE(value) << c.text << ": " << errorMessage(value.takeError());
    EXPECT_EQ(*value, c.expected) << c.text;
  }
}

TEST(NumberFormatTest, ParseValueFailuresPointIntoTheMatch) {
  struct Case {
    NumberFormat format;
    const char *matched; // placed after "x=" in the input line
    const char *diagnostic;
  } cases[] = {
      {{UpperHex, 0, true}, "1F", "input:1:3: error: missing alternate form prefix\n"
                                  "x=1F;\n"
                                  "  ^\n"},
      {{UpperHex, 0, true}, "0X1F", "input:1:3: error: unable to represent numeric value\n"
                                    "x=0X1F;\n"
                                    "  ^\n"},
      {{UpperHex, 0, true}, "0x11111111111111111",
       "input:1:5: error: unable to represent numeric value\n"
       "x=0x11111111111111111;\n"
       "    ^\n"},
      {{UpperHex, 0, true}, "11111111111111111",
       "input:1:3: error: unable to represent numeric value\n"
       "x=11111111111111111;\n"
       "  ^\n"},
      {{LowerHex, 0, true}, "0x", "input:1:5: error: unable to represent numeric value\n"
                                  "x=0x;\n"
                                  "    ^\n"},
      {{Unsigned}, "18446744073709551616",
       "input:1:3: error: unable to represent numeric value\n"
       "x=18446744073709551616;\n"
       "  ^\n"},
      {{Unsigned}, "-1", "input:1:3: error: unable to represent numeric value\n"
                         "x=-1;\n"
                         "  ^\n"},
      {{Signed}, "9223372036854775808", "input:1:3: error: unable to represent numeric value\n"
                                        "x=9223372036854775808;\n"
                                        "  ^\n"},
      {{Signed}, "-9223372036854775809",
       "input:1:3: error: unable to represent numeric value\n"
       "x=-9223372036854775809;\n"
       "  ^\n"},
      {{Signed}, "-", "input:1:3: error: unable to represent numeric value\n"
                      "x=-;\n"
                      "  ^\n"},
  };
  for (const Case &c : cases) {
    SourceRegistry registry;
    std::string line = std::string("x=") + c.matched + ";";
    TextRef whole = addText(registry, line, "input");
    TextRef matched = whole.substr(2, line.size() - 3);
    ValueOrError<NumericValue> value = parseValue(c.format, matched, registry);
    ASSERT_FALSE(value) << c.matched;
    ErrorValue error = value.takeError();
    ASSERT_TRUE(error.isA<DiagnosticError>());
    // The range runs from the caret to the end of the matched text.
    auto *diag = static_cast<const DiagnosticError *>(error.payload());
    EXPECT_EQ(diag->range().start, diag->diagnostic().location);
    EXPECT_EQ(diag->range().end, matched.data() + matched.size());
    EXPECT_EQ(printedErrors(std::move(error)), std::string(c.diagnostic) + "\n") << c.matched;
  }
}

} // namespace

} // namespace ostrel
