#ifndef OSTREL_ENGINE_ENGINEERRORS_H
#define OSTREL_ENGINE_ENGINEERRORS_H

/// The error kinds of the check engine itself: a check text with a stray
/// "]" and a pattern that was not found. Neither is ever fatal; whoever
/// receives one decides whether it is printed. Tested by
/// EngineErrors_test.cpp.

#include "support/diag/AlreadyReportedError.h"
#include "support/diag/ErrorValue.h"

#include <system_error>

namespace ostrel {

/// A substitution block with a "]" that closes nothing, already reported.
/// Unlike the reader's other failures it ends the checker with status 1.
class UnbalancedBracketError
    : public ErrorPayloadKind<UnbalancedBracketError, AlreadyReportedError> {};

/// A pattern without match in the searched range.
class PatternNotFoundError : public ErrorPayloadKind<PatternNotFoundError> {
public:
  void print(OutputStream &os) const override;
  std::error_code toErrorCode() const override { return inconvertibleErrorCode(); }
};

ErrorValue makeUnbalancedBracketError();
ErrorValue makePatternNotFoundError();

} // namespace ostrel

#endif
