#ifndef OSTREL_ENGINE_NUMERIC_NUMERICVALUE_H
#define OSTREL_ENGINE_NUMERIC_NUMERICVALUE_H

/// The integer that numeric variables and expressions hold: an unsigned
/// 64-bit word plus a negative flag, so that it covers -2^63 .. 2^64-1. A
/// negative value keeps its word in 64-bit two's complement. Arithmetic on it
/// is checked: results that do not fit give a ValueOverflowError.
/// Tested by NumericValue_test.cpp.

#include "support/diag/ErrorValue.h"

#include <cstdint>

namespace ostrel {

class NumericValue {
public:
  /// Zero.
  constexpr NumericValue() = default;
  /// A non-negative value from 0 to 2^64-1.
  static constexpr NumericValue fromUnsigned(uint64_t value) {
    return NumericValue(value, false);
  }
  /// A value from a signed 64-bit integer; negative exactly when it is below 0.
  static constexpr NumericValue fromSigned(int64_t value) {
    return NumericValue(static_cast<uint64_t>(value), value < 0);
  }
  /// A value whose sign is taken from the sign bit of a 64-bit signed result.
  static constexpr NumericValue fromSignedWord(uint64_t word) {
    return fromSigned(static_cast<int64_t>(word));
  }

  /// The raw word: the value itself, or its two's complement when negative.
  constexpr uint64_t word() const { return bits; }
  constexpr bool isNegative() const { return negative; }
  /// |value|: for a negative value the two's-complement negation of the word
  /// (so the magnitude of -2^63 is 2^63).
  constexpr uint64_t magnitude() const { return negative ? ~bits + 1 : bits; }
  /// The value as a signed integer, valid only when it lies in int64 range.
  constexpr int64_t asSigned() const { return static_cast<int64_t>(bits); }

  friend constexpr bool operator==(const NumericValue &a, const NumericValue &b) {
    return a.bits == b.bits && a.negative == b.negative;
  }

private:
  constexpr NumericValue(uint64_t word, bool isNegative)
      : bits(word), negative(isNegative) {}

  uint64_t bits = 0;
  bool negative = false;
};

/// The result of a checked 64-bit primitive and whether it overflowed.
template <typename T> struct CheckedResult {
  T value;
  bool overflow;
};

CheckedResult<int64_t> checkedAddSigned(int64_t a, int64_t b);
CheckedResult<uint64_t> checkedAddUnsigned(uint64_t a, uint64_t b);
CheckedResult<int64_t> checkedSubSigned(int64_t a, int64_t b);
CheckedResult<uint64_t> checkedMulUnsigned(uint64_t a, uint64_t b);

/// The six operations of numeric expressions. Overflow (and division by zero)
/// gives a ValueOverflowError; quotients truncate towards zero.
ValueOrError<NumericValue> add(const NumericValue &left, const NumericValue &right);
ValueOrError<NumericValue> sub(const NumericValue &left, const NumericValue &right);
ValueOrError<NumericValue> mul(const NumericValue &left, const NumericValue &right);
ValueOrError<NumericValue> div(const NumericValue &left, const NumericValue &right);
ValueOrError<NumericValue> max(const NumericValue &left, const NumericValue &right);
ValueOrError<NumericValue> min(const NumericValue &left, const NumericValue &right);

/// The operations above as a value, for expression nodes.
enum class ArithmeticOp { Add, Sub, Mul, Div, Max, Min };

ValueOrError<NumericValue> applyArithmetic(ArithmeticOp op, const NumericValue &left,
                                           const NumericValue &right);

} // namespace ostrel

#endif
