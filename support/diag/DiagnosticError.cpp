#include "support/diag/DiagnosticError.h"

namespace ostrel {

ErrorValue DiagnosticError::make(SourceRegistry &registry, SourceLocation location,
                                 TextRef message, SourceRange range, DiagnosticKind kind) {
  // The diagnostic gets no column ranges on purpose: the range travels beside
  // it for the input dump but is not underlined when printed.
  return makeError<DiagnosticError>(
      registry.makeDiagnostic(location, DiagSeverity::Error, message), range, kind);
}

void DiagnosticError::print(OutputStream &os) const {
  SourceRegistry::printDiagnostic(os, diag, /*showColours=*/true);
}

} // namespace ostrel
