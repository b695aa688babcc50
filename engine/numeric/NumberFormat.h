#ifndef OSTREL_ENGINE_NUMERIC_NUMBERFORMAT_H
#define OSTREL_ENGINE_NUMERIC_NUMBERFORMAT_H

/// How a numeric value is written into a pattern and read back from matched
/// input: the kind of number, a minimum digit count and the optional "0x"
/// prefix of hex numbers. It also yields the regular expression that matches
/// any number written in the format. Tested by NumberFormat_test.cpp.

#include "engine/numeric/NumericValue.h"
#include "support/diag/ErrorValue.h"
#include "support/fs/TextRef.h"

#include <cstdint>
#include <string>

namespace ostrel {

class SourceRegistry;

enum class NumberKind : uint32_t {
  None = 0,
  Unsigned = 1,
  Signed = 2,
  UpperHex = 3,
  LowerHex = 4,
};

/// The name of a kind in messages: "<none>", "%u", "%d", "%X", "%x".
TextRef numberKindName(NumberKind kind);

struct NumberFormat {
  NumberKind kind = NumberKind::None;
  /// Minimum number of digits; 0 means no minimum.
  uint32_t precision = 0;
  /// The text carries the prefix "0x" (hex kinds only).
  bool alternateForm = false;

  constexpr NumberFormat() = default;
  constexpr NumberFormat(NumberKind kind, uint32_t precision = 0, bool alternateForm = false)
      : kind(kind), precision(precision), alternateForm(alternateForm) {}

  bool isHex() const { return kind == NumberKind::UpperHex || kind == NumberKind::LowerHex; }

  /// Formats are equal when all fields are; a format of kind None (no format
  /// chosen) equals nothing, not even another None.
  friend bool operator==(const NumberFormat &a, const NumberFormat &b) {
    return a.kind != NumberKind::None && a.kind == b.kind && a.precision == b.precision &&
           a.alternateForm == b.alternateForm;
  }
};

/// The value of `c` as a digit of `base` (up to 36; letters of either case
/// count from 10 on), or `base` itself when `c` is no digit of that base.
unsigned digitValue(char c, unsigned base);

/// Appends `digit` to `value` read in `base`; false (and `value` unchanged)
/// when the result does not fit 64 bits.
bool appendDigit(uint64_t &value, unsigned base, unsigned digit);

/// The regular expression matching any number written in `format`. Kind None
/// fails with "trying to match value with invalid format" (EINVAL).
ValueOrError<std::string> numberWildcard(const NumberFormat &format);

/// The largest precision formatValue writes out; beyond it the value counts
/// as too large to write.
constexpr uint32_t maxFormattedDigits = 1u << 20;

/// `value` written in `format`. A value the kind cannot express (or a
/// precision above maxFormattedDigits) gives a ValueOverflowError; kind None
/// fails as numberWildcard does.
ValueOrError<std::string> formatValue(const NumberFormat &format, const NumericValue &value);

/// Reads back `text`, which lies in a buffer of `registry` (it is the text a
/// wildcard matched). Failures are DiagnosticErrors pointing into `text`.
ValueOrError<NumericValue> parseValue(const NumberFormat &format, TextRef text,
                                      SourceRegistry &registry);

} // namespace ostrel

#endif
