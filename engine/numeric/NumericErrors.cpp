#include "engine/numeric/NumericErrors.h"

#include "engine/numeric/Substitution.h"
#include "support/diag/OutputStream.h"

namespace ostrel {

void ValueOverflowError::print(OutputStream &os) const { os << "overflow error"; }

void UndefinedVariableError::print(OutputStream &os) const {
  os << "undefined variable: " << variableName;
}

ErrorValue makeValueOverflowError() { return makeError<ValueOverflowError>(); }
ErrorValue makeUndefinedVariableError(TextRef name) {
  return makeError<UndefinedVariableError>(name);
}

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
        SourceRange::of(text), DiagnosticKind::SubstitutionFailed);
  }
  if (error.isA<UndefinedVariableError>()) {
    std::unique_ptr<ErrorPayload> payload = error.takePayload();
    auto &undefined = static_cast<const UndefinedVariableError &>(*payload);
    TextRef name = undefined.name();
    return DiagnosticError::make(registry, name.data(), undefined.message(),
                                 SourceRange::of(name), DiagnosticKind::SubstitutionFailed);
  }
  return error;
}

} // namespace ostrel
