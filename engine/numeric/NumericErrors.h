#ifndef OSTREL_ENGINE_NUMERIC_NUMERICERRORS_H
#define OSTREL_ENGINE_NUMERIC_NUMERICERRORS_H

/// The error kinds of numeric values and substitutions: a value overflow and
/// a use of a variable without value, and their conversion into located
/// messages. Tested by NumericErrors_test.cpp.

#include "support/diag/DiagnosticError.h"
#include "support/diag/ErrorValue.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/TextRef.h"

#include <string>
#include <system_error>

namespace ostrel {

class Substitution;

/// A numeric result that does not fit (or a division by zero).
class ValueOverflowError : public ErrorPayloadKind<ValueOverflowError> {
public:
  void print(OutputStream &os) const override;
  std::error_code toErrorCode() const override {
    return std::make_error_code(std::errc::value_too_large);
  }
};

/// A use of a variable that has no value; `name` points at the use.
class UndefinedVariableError : public ErrorPayloadKind<UndefinedVariableError> {
public:
  explicit UndefinedVariableError(TextRef name) : variableName(name) {}
  void print(OutputStream &os) const override;
  std::error_code toErrorCode() const override { return inconvertibleErrorCode(); }
  TextRef name() const { return variableName; }

private:
  TextRef variableName;
};

ErrorValue makeValueOverflowError();
ErrorValue makeUndefinedVariableError(TextRef name);

/// Turns the failure of `substitution`'s result into what the user sees: an
/// overflow becomes "unable to substitute variable or numeric expression:
/// overflow error" over the substitution's text, an undefined variable its own
/// message located at the name; anything else is returned unchanged.
ErrorValue convertSubstitutionFailure(const Substitution &substitution, ErrorValue error,
                                      SourceRegistry &registry);

} // namespace ostrel

#endif
