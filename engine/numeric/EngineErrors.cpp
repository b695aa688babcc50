#include "engine/numeric/EngineErrors.h"

#include "engine/numeric/Substitution.h"
#include "support/diag/OutputStream.h"

namespace ostrel {

ErrorValue DiagnosticError::make(SourceRegistry &registry, SourceLocation location,
                                 TextRef message, SourceRange range) {
  // The diagnostic gets no column ranges on purpose: the range travels beside
  // it for the input dump but is not underlined when printed.
  return makeError<DiagnosticError>(
      registry.makeDiagnostic(location, DiagSeverity::Error, message), range);
}

void DiagnosticError::print(OutputStream &os) const {
  SourceRegistry::printDiagnostic(os, diag, /*showColours=*/true);
}

void AlreadyReportedError::print(OutputStream &os) const { os << "error previously reported"; }

void ValueOverflowError::print(OutputStream &os) const { os << "overflow error"; }

void UndefinedVariableError::print(OutputStream &os) const {
  os << "undefined variable: " << variableName;
}

void PatternNotFoundError::print(OutputStream &os) const { os << "String not found in input"; }

ErrorValue makeAlreadyReportedError() { return makeError<AlreadyReportedError>(); }
ErrorValue makeUnbalancedBracketError() { return makeError<UnbalancedBracketError>(); }
ErrorValue makeValueOverflowError() { return makeError<ValueOverflowError>(); }
ErrorValue makeUndefinedVariableError(TextRef name) {
  return makeError<UndefinedVariableError>(name);
}
ErrorValue makePatternNotFoundError() { return makeError<PatternNotFoundError>(); }

ErrorValue convertSubstitutionFailure(const Substitution &substitution, ErrorValue error,
                                      SourceRegistry &registry) {
  // Joined errors pass unchanged: only a single overflow or undefined
  // variable is turned into a located message.
  if (error.isA<ValueOverflowError>()) {
    dropError(std::move(error));
    TextRef text = substitution.text();
    return DiagnosticError::make(
        registry, text.data(),
        "unable to substitute variable or numeric expression: overflow error",
        SourceRange::of(text));
  }
  if (error.isA<UndefinedVariableError>()) {
    std::unique_ptr<ErrorPayload> payload = error.takePayload();
    auto &undefined = static_cast<const UndefinedVariableError &>(*payload);
    TextRef name = undefined.name();
    return DiagnosticError::make(registry, name.data(), undefined.message(),
                                 SourceRange::of(name));
  }
  return error;
}

} // namespace ostrel
