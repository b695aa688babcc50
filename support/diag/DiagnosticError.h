#ifndef OSTREL_SUPPORT_DIAG_DIAGNOSTICERROR_H
#define OSTREL_SUPPORT_DIAG_DIAGNOSTICERROR_H

/// The error that carries a located message, made by whoever reads a check
/// file and printed by whoever finally receives it. Tested by
/// DiagnosticError_test.cpp.

#include "support/diag/DiagnosticKind.h"
#include "support/diag/ErrorValue.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/TextRef.h"

#include <string>
#include <system_error>

namespace ostrel {

/// A located error message. It keeps a diagnostic made without column ranges
/// (printing shows the caret but no tildes) and, beside it, the range the
/// message is about, for the match records of the input dump.
class DiagnosticError : public ErrorPayloadKind<DiagnosticError> {
public:
  DiagnosticError(SourceDiagnostic diagnostic, SourceRange range, DiagnosticKind kind)
      : diag(std::move(diagnostic)), errorRange(range), errorKind(kind) {}

  /// An error of severity error and kind `kind` at `location` with
  /// `message`; `range` is kept but not shown.
  static ErrorValue make(SourceRegistry &registry, SourceLocation location, TextRef message,
                         SourceRange range, DiagnosticKind kind);

  /// Prints the full diagnostic, colours allowed.
  void print(OutputStream &os) const override;
  std::error_code toErrorCode() const override { return inconvertibleErrorCode(); }

  const SourceDiagnostic &diagnostic() const { return diag; }
  /// The diagnostic's message text alone.
  const std::string &messageText() const { return diag.message; }
  SourceRange range() const { return errorRange; }
  DiagnosticKind kind() const { return errorKind; }

private:
  SourceDiagnostic diag;
  SourceRange errorRange;
  DiagnosticKind errorKind;
};

} // namespace ostrel

#endif
