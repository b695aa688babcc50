#ifndef OSTREL_SUPPORT_DIAG_ALREADYREPORTEDERROR_H
#define OSTREL_SUPPORT_DIAG_ALREADYREPORTEDERROR_H

/// The error that stands for a failure whose message has been printed
/// already: its receiver decides what the failure means, not what to print.
/// Tested by DiagnosticError_test.cpp.

#include "support/diag/ErrorValue.h"

#include <system_error>

namespace ostrel {

/// A failure whose message has been printed already.
class AlreadyReportedError : public ErrorPayloadKind<AlreadyReportedError> {
public:
  void print(OutputStream &os) const override;
  std::error_code toErrorCode() const override { return inconvertibleErrorCode(); }
};

ErrorValue makeAlreadyReportedError();

} // namespace ostrel

#endif
