#ifndef OSTREL_ENGINE_NUMERIC_ENGINEERRORS_H
#define OSTREL_ENGINE_NUMERIC_ENGINEERRORS_H

/// The error kinds the check engine adds to the general ones: a located
/// diagnostic, a failure that was already printed (among them an unbalanced
/// bracket), a value overflow, a use of a variable without value, and a
/// pattern that was not found. None of them is ever fatal; whoever receives
/// one decides whether it is printed.

#include "support/diag/ErrorValue.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/TextRef.h"

#include <string>
#include <system_error>

namespace ostrel {

class Substitution;

/// A located error message. It keeps a diagnostic made without column ranges
/// (printing shows the caret but no tildes) and, beside it, the range the
/// message is about, for the match records of the input dump.
class DiagnosticError : public ErrorPayloadKind<DiagnosticError> {
public:
  DiagnosticError(SourceDiagnostic diagnostic, SourceRange range)
      : diag(std::move(diagnostic)), errorRange(range) {}

  /// An error of severity error at `location` with `message`; `range` is kept
  /// but not shown.
  static ErrorValue make(SourceRegistry &registry, SourceLocation location, TextRef message,
                         SourceRange range = SourceRange());

  /// Prints the full diagnostic, colours allowed.
  void print(OutputStream &os) const override;
  std::error_code toErrorCode() const override { return inconvertibleErrorCode(); }

  const SourceDiagnostic &diagnostic() const { return diag; }
  /// The diagnostic's message text alone.
  const std::string &messageText() const { return diag.message; }
  SourceRange range() const { return errorRange; }

private:
  SourceDiagnostic diag;
  SourceRange errorRange;
};

/// A failure whose message has been printed already.
class AlreadyReportedError : public ErrorPayloadKind<AlreadyReportedError> {
public:
  void print(OutputStream &os) const override;
  std::error_code toErrorCode() const override { return inconvertibleErrorCode(); }
};

/// A substitution block with a "]" that closes nothing, already reported.
/// Unlike the reader's other failures it ends the checker with status 1.
class UnbalancedBracketError
    : public ErrorPayloadKind<UnbalancedBracketError, AlreadyReportedError> {};

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

/// A pattern without match in the searched range.
class PatternNotFoundError : public ErrorPayloadKind<PatternNotFoundError> {
public:
  void print(OutputStream &os) const override;
  std::error_code toErrorCode() const override { return inconvertibleErrorCode(); }
};

ErrorValue makeAlreadyReportedError();
ErrorValue makeUnbalancedBracketError();
ErrorValue makeValueOverflowError();
ErrorValue makeUndefinedVariableError(TextRef name);
ErrorValue makePatternNotFoundError();

/// Turns the failure of `substitution`'s result into what the user sees: an
/// overflow becomes "unable to substitute variable or numeric expression:
/// overflow error" over the substitution's text, an undefined variable its own
/// message located at the name; anything else is returned unchanged.
ErrorValue convertSubstitutionFailure(const Substitution &substitution, ErrorValue error,
                                      SourceRegistry &registry);

} // namespace ostrel

#endif
