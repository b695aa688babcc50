#include "engine/numeric/NumberFormat.h"

#include "engine/numeric/NumericErrors.h"
#include "support/diag/DiagnosticError.h"
#include "support/diag/SourceRegistry.h"

#include <cerrno>

namespace ostrel {

namespace {

constexpr TextRef invalidFormatMessage = "trying to match value with invalid format";

ErrorValue invalidFormatError() {
  return makeTextError(std::error_code(EINVAL, std::generic_category()), invalidFormatMessage);
}

// Reads all of `text` as digits of `base`; false when it is empty, holds
// another character, or exceeds 64 bits.
bool readWholeNumber(TextRef text, unsigned base, uint64_t &result) {
  if (text.empty())
    return false;
  uint64_t value = 0;
  for (char c : text) {
    unsigned digit = digitValue(c, base);
    if (digit == base || !appendDigit(value, base, digit))
      return false;
  }
  result = value;
  return true;
}

ErrorValue unrepresentable(SourceRegistry &registry, TextRef from) {
  return DiagnosticError::make(registry, from.data(), "unable to represent numeric value",
                               SourceRange::of(from), DiagnosticKind::UnreadableCapture);
}

} // namespace

unsigned digitValue(char c, unsigned base) {
  unsigned digit = base;
  if (c >= '0' && c <= '9')
    digit = static_cast<unsigned>(c - '0');
  else if (c >= 'a' && c <= 'z')
    digit = static_cast<unsigned>(c - 'a') + 10;
  else if (c >= 'A' && c <= 'Z')
    digit = static_cast<unsigned>(c - 'A') + 10;
  return digit < base ? digit : base;
}

bool appendDigit(uint64_t &value, unsigned base, unsigned digit) {
  CheckedResult<uint64_t> scaled = checkedMulUnsigned(value, base);
  CheckedResult<uint64_t> next = checkedAddUnsigned(scaled.value, digit);
  if (scaled.overflow || next.overflow)
    return false;
  value = next.value;
  return true;
}

TextRef numberKindName(NumberKind kind) {
  switch (kind) {
  case NumberKind::None:
    return "<none>";
  case NumberKind::Unsigned:
    return "%u";
  case NumberKind::Signed:
    return "%d";
  case NumberKind::UpperHex:
    return "%X";
  case NumberKind::LowerHex:
    return "%x";
  }
  return "<none>";
}

ValueOrError<std::string> numberWildcard(const NumberFormat &format) {
  struct Pattern {
    NumberKind kind;
    TextRef anyDigits;   // without a precision
    TextRef leadingPart; // with a precision P, followed by the digit class and {P}
    TextRef digitClass;
  };
  static constexpr Pattern patterns[] = {
      {NumberKind::Unsigned, "[0-9]+", "([1-9][0-9]*)?", "[0-9]"},
      {NumberKind::Signed, "-?[0-9]+", "-?([1-9][0-9]*)?", "[0-9]"},
      {NumberKind::UpperHex, "[0-9A-F]+", "([1-9A-F][0-9A-F]*)?", "[0-9A-F]"},
      {NumberKind::LowerHex, "[0-9a-f]+", "([1-9a-f][0-9a-f]*)?", "[0-9a-f]"},
  };
  for (const Pattern &pattern : patterns) {
    if (pattern.kind != format.kind)
      continue;
    std::string result = format.alternateForm ? "0x" : "";
    if (format.precision == 0) {
      result += pattern.anyDigits;
    } else {
      result += pattern.leadingPart;
      result += pattern.digitClass;
      result += "{" + std::to_string(format.precision) + "}";
    }
    return result;
  }
  return invalidFormatError();
}

ValueOrError<std::string> formatValue(const NumberFormat &format, const NumericValue &value) {
  unsigned base = 10;
  const char *digitChars = "0123456789";
  switch (format.kind) {
  case NumberKind::None:
    return invalidFormatError();
  case NumberKind::Signed:
    if (!value.isNegative() && value.word() >= (uint64_t(1) << 63))
      return makeValueOverflowError();
    break;
  case NumberKind::Unsigned:
  case NumberKind::UpperHex:
  case NumberKind::LowerHex:
    if (value.isNegative())
      return makeValueOverflowError();
    if (format.kind == NumberKind::UpperHex) {
      base = 16;
      digitChars = "0123456789ABCDEF";
    } else if (format.kind == NumberKind::LowerHex) {
      base = 16;
      digitChars = "0123456789abcdef";
    }
    break;
  }

  // A precision can ask for billions of zeros; past a sane width the text is
  // treated like any other value that cannot be written.
  if (format.precision > maxFormattedDigits)
    return makeValueOverflowError();

  char digits[64];
  size_t count = 0;
  uint64_t magnitude = value.magnitude();
  do {
    digits[count++] = digitChars[magnitude % base];
    magnitude /= base;
  } while (magnitude != 0);

  std::string text;
  if (value.isNegative())
    text += '-';
  if (format.alternateForm)
    text += "0x";
  if (count < format.precision)
    text.append(format.precision - count, '0');
  while (count > 0)
    text += digits[--count];
  return text;
}

ValueOrError<NumericValue> parseValue(const NumberFormat &format, TextRef text,
                                      SourceRegistry &registry) {
  if (format.kind == NumberKind::Signed) {
    TextRef digits = text;
    bool negative = consumeFront(digits, "-");
    uint64_t magnitude = 0;
    if (!readWholeNumber(digits, 10, magnitude))
      return unrepresentable(registry, text);
    uint64_t limit = (uint64_t(1) << 63) - (negative ? 0 : 1);
    if (magnitude > limit)
      return unrepresentable(registry, text);
    return negative ? NumericValue::fromSignedWord(~magnitude + 1)
                    : NumericValue::fromUnsigned(magnitude);
  }
  if (format.kind == NumberKind::None)
    return invalidFormatError();

  unsigned base = format.isHex() ? 16 : 10;
  TextRef digits = text;
  if (format.alternateForm && !consumeFront(digits, "0x")) {
    uint64_t ignored = 0;
    if (readWholeNumber(text, base, ignored))
      return DiagnosticError::make(registry, text.data(), "missing alternate form prefix",
                                   SourceRange::of(text), DiagnosticKind::UnreadableCapture);
    return unrepresentable(registry, text);
  }
  uint64_t value = 0;
  if (!readWholeNumber(digits, base, value))
    return unrepresentable(registry, digits);
  return NumericValue::fromUnsigned(value);
}

} // namespace ostrel
