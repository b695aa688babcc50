#include "engine/numeric/NumericValue.h"

#include "engine/numeric/NumericErrors.h"


#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

namespace ostrel {

namespace {

constexpr uint64_t maxWord = UINT64_MAX;
constexpr uint64_t twoTo63 = uint64_t(1) << 63;

NumericValue u(uint64_t v) { return NumericValue::fromUnsigned(v); }
NumericValue s(int64_t v) { return NumericValue::fromSigned(v); }
const NumericValue minSigned = NumericValue::fromSigned(INT64_MIN);

// The value, or nullopt for an overflow (any other error fails the test).
std::optional<NumericValue> outcome(ValueOrError<NumericValue> result) {
  if (result)
    return *result;
  ErrorValue error = result.takeError();
  EXPECT_TRUE(error.isA<ValueOverflowError>()) << errorMessage(std::move(error));
  dropError(std::move(error));
  return std::nullopt;
}

TEST(NumericValueTest, Representation) {
  EXPECT_FALSE(s(0).isNegative());
  EXPECT_EQ(s(0), u(0)); // no negative zero
  EXPECT_TRUE(s(-1).isNegative());
  EXPECT_EQ(s(-1).word(), maxWord);
  EXPECT_EQ(s(-1).magnitude(), 1u);
  EXPECT_EQ(minSigned.magnitude(), twoTo63);
  EXPECT_FALSE(u(twoTo63) == minSigned); // same word, different flag
  EXPECT_EQ(u(maxWord).magnitude(), maxWord);
}

TEST(NumericValueTest, CheckedPrimitives) {
  EXPECT_TRUE(checkedAddSigned(INT64_MAX, 1).overflow);
  EXPECT_TRUE(checkedAddSigned(INT64_MIN, -1).overflow);
  EXPECT_FALSE(checkedAddSigned(INT64_MIN, INT64_MAX).overflow);
  EXPECT_EQ(checkedAddSigned(INT64_MIN, INT64_MAX).value, -1);
  EXPECT_TRUE(checkedSubSigned(INT64_MIN, 1).overflow);
  EXPECT_TRUE(checkedSubSigned(0, INT64_MIN).overflow);
  EXPECT_FALSE(checkedSubSigned(-1, INT64_MIN).overflow);
  EXPECT_TRUE(checkedAddUnsigned(maxWord, 1).overflow);
  EXPECT_EQ(checkedAddUnsigned(maxWord, 0).value, maxWord);
  EXPECT_TRUE(checkedMulUnsigned(uint64_t(1) << 32, uint64_t(1) << 32).overflow);
  EXPECT_FALSE(checkedMulUnsigned(uint64_t(1) << 32, (uint64_t(1) << 32) - 1).overflow);
  EXPECT_FALSE(checkedMulUnsigned(maxWord, 1).overflow);
}

struct ArithmeticCase {
  ArithmeticOp op;
  NumericValue left;
  NumericValue right;
  std::optional<NumericValue> expected; // nullopt: overflow
};

TEST(NumericValueTest, Arithmetic) {
  using enum ArithmeticOp;
  const std::optional<NumericValue> overflow;
  const ArithmeticCase cases[] = {
      // add
      {Add, u(maxWord), u(1), overflow},
      {Add, u(maxWord - 1), u(1), u(maxWord)},
      {Add, s(-1), u(maxWord), u(maxWord - 1)},
      {Add, u(maxWord), s(-1), u(maxWord - 1)},
      {Add, s(-3), s(-4), s(-7)},
      {Add, minSigned, s(-1), overflow},
      {Add, s(-5), u(5), u(0)},
      {Add, s(-5), u(2), s(-3)},
      // sub
      {Sub, u(0), u(twoTo63), minSigned},
      {Sub, u(0), u(twoTo63 + 1), overflow},
      {Sub, minSigned, u(1), overflow},
      {Sub, s(-1), u(twoTo63), overflow},
      {Sub, s(-1), u(twoTo63 - 1), minSigned},
      {Sub, u(3), u(5), s(-2)},
      {Sub, u(5), u(5), u(0)},
      {Sub, s(-3), s(-5), u(2)},
      {Sub, s(-5), s(-3), s(-2)},
      {Sub, u(maxWord - 1), s(-1), u(maxWord)},
      {Sub, u(maxWord), s(-1), overflow},
      // mul
      {Mul, u(uint64_t(1) << 32), u(uint64_t(1) << 32), overflow},
      {Mul, s(-1), u(twoTo63), minSigned},
      {Mul, s(-1), u(twoTo63 + 1), overflow},
      {Mul, s(-2), s(-3), u(6)},
      {Mul, u(3), s(-4), s(-12)},
      {Mul, s(-4), u(0), u(0)},
      {Mul, minSigned, s(-1), u(twoTo63)},
      // div
      {Div, u(5), u(0), overflow},
      {Div, s(-5), u(0), overflow},
      {Div, s(-6), s(-4), u(1)},
      {Div, u(7), s(-2), s(-3)},
      {Div, s(-7), u(2), s(-3)},
      {Div, u(7), u(2), u(3)},
      {Div, u(maxWord), u(1), u(maxWord)},
      {Div, minSigned, s(-1), u(twoTo63)},
      {Div, u(1), u(2), u(0)},
      {Div, s(-1), u(2), u(0)}, // -0 is plain zero
      // max and min
      {Max, s(-3), u(2), u(2)},
      {Min, s(-3), u(2), s(-3)},
      {Max, u(5), u(5), u(5)},
      {Min, u(5), u(5), u(5)},
      {Max, s(-3), s(-7), s(-3)},
      {Min, s(-3), s(-7), s(-7)},
      {Max, u(maxWord), u(twoTo63), u(maxWord)},
      {Min, u(2), s(-1), s(-1)},
  };
  for (const ArithmeticCase &c : cases) {
    SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(c.op) << " on ("
                                    << c.left.word() << (c.left.isNegative() ? "-" : "+")
                                    << ", " << c.right.word()
                                    << (c.right.isNegative() ? "-" : "+") << ")");
    std::optional<NumericValue> got = outcome(applyArithmetic(c.op, c.left, c.right));
    ASSERT_EQ(got.has_value(), c.expected.has_value());
    if (got) {
      EXPECT_EQ(got->word(), c.expected->word());
      EXPECT_EQ(got->isNegative(), c.expected->isNegative());
    }
  }
}

} // namespace

} // namespace ostrel
