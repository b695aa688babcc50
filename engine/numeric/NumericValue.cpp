#include "engine/numeric/NumericValue.h"

#include "engine/numeric/NumericErrors.h"


namespace ostrel {

namespace {

constexpr uint64_t signBit = uint64_t(1) << 63;

NumericValue absolute(const NumericValue &value) {
  return NumericValue::fromUnsigned(value.magnitude());
}

} // namespace

CheckedResult<int64_t> checkedAddSigned(int64_t a, int64_t b) {
  uint64_t sum = static_cast<uint64_t>(a) + static_cast<uint64_t>(b);
  int64_t result = static_cast<int64_t>(sum);
  bool overflow = (a < 0) == (b < 0) && (result < 0) != (a < 0);
  return {result, overflow};
}

CheckedResult<uint64_t> checkedAddUnsigned(uint64_t a, uint64_t b) {
  uint64_t sum = a + b;
  return {sum, sum < a};
}

CheckedResult<int64_t> checkedSubSigned(int64_t a, int64_t b) {
  uint64_t difference = static_cast<uint64_t>(a) - static_cast<uint64_t>(b);
  int64_t result = static_cast<int64_t>(difference);
  bool overflow = (a < 0) != (b < 0) && (result < 0) != (a < 0);
  return {result, overflow};
}

CheckedResult<uint64_t> checkedMulUnsigned(uint64_t a, uint64_t b) {
  unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
  return {static_cast<uint64_t>(product), (product >> 64) != 0};
}

ValueOrError<NumericValue> add(const NumericValue &left, const NumericValue &right) {
  if (left.isNegative() && right.isNegative()) {
    CheckedResult<int64_t> sum = checkedAddSigned(left.asSigned(), right.asSigned());
    if (sum.overflow)
      return makeValueOverflowError();
    return NumericValue::fromSigned(sum.value);
  }
  if (left.isNegative())
    return sub(right, absolute(left));
  if (right.isNegative())
    return sub(left, absolute(right));
  CheckedResult<uint64_t> sum = checkedAddUnsigned(left.word(), right.word());
  if (sum.overflow)
    return makeValueOverflowError();
  return NumericValue::fromUnsigned(sum.value);
}

ValueOrError<NumericValue> sub(const NumericValue &left, const NumericValue &right) {
  if (left.isNegative() && right.isNegative())
    return sub(absolute(right), absolute(left));
  if (left.isNegative()) {
    if (right.word() >= signBit)
      return makeValueOverflowError();
    CheckedResult<int64_t> difference =
        checkedSubSigned(left.asSigned(), static_cast<int64_t>(right.word()));
    if (difference.overflow)
      return makeValueOverflowError();
    return NumericValue::fromSigned(difference.value);
  }
  if (right.isNegative())
    return add(left, absolute(right));
  if (left.word() >= right.word())
    return NumericValue::fromUnsigned(left.word() - right.word());
  uint64_t distance = right.word() - left.word();
  if (distance > signBit)
    return makeValueOverflowError();
  // -distance in two's complement; for distance == 2^63 that is -2^63.
  return NumericValue::fromSignedWord(~distance + 1);
}

ValueOrError<NumericValue> mul(const NumericValue &left, const NumericValue &right) {
  if (left.isNegative() && right.isNegative())
    return mul(absolute(left), absolute(right));
  if (left.isNegative() || right.isNegative()) {
    const NumericValue &negative = left.isNegative() ? left : right;
    const NumericValue &other = left.isNegative() ? right : left;
    ValueOrError<NumericValue> product = mul(absolute(negative), other);
    if (!product)
      return product;
    return sub(NumericValue(), *product);
  }
  CheckedResult<uint64_t> product = checkedMulUnsigned(left.word(), right.word());
  if (product.overflow)
    return makeValueOverflowError();
  return NumericValue::fromUnsigned(product.value);
}

ValueOrError<NumericValue> div(const NumericValue &left, const NumericValue &right) {
  if (left.isNegative() && right.isNegative())
    return div(absolute(left), absolute(right));
  if (right.word() == 0)
    return makeValueOverflowError();
  if (left.isNegative() || right.isNegative()) {
    ValueOrError<NumericValue> quotient = div(absolute(left), absolute(right));
    if (!quotient)
      return quotient;
    return sub(NumericValue(), *quotient);
  }
  return NumericValue::fromUnsigned(left.word() / right.word());
}

ValueOrError<NumericValue> max(const NumericValue &left, const NumericValue &right) {
  if (left.isNegative() && right.isNegative())
    return left.asSigned() >= right.asSigned() ? left : right;
  if (left.isNegative())
    return right;
  if (right.isNegative())
    return left;
  return left.word() >= right.word() ? left : right;
}

ValueOrError<NumericValue> min(const NumericValue &left, const NumericValue &right) {
  ValueOrError<NumericValue> larger = max(left, right);
  if (!larger)
    return larger;
  return *larger == left ? right : left;
}

ValueOrError<NumericValue> applyArithmetic(ArithmeticOp op, const NumericValue &left,
                                           const NumericValue &right) {
  switch (op) {
  case ArithmeticOp::Add:
    return add(left, right);
  case ArithmeticOp::Sub:
    return sub(left, right);
  case ArithmeticOp::Mul:
    return mul(left, right);
  case ArithmeticOp::Div:
    return div(left, right);
  case ArithmeticOp::Max:
    return max(left, right);
  case ArithmeticOp::Min:
    return min(left, right);
  }
  return makeValueOverflowError();
}

} // namespace ostrel
