#ifndef OSTREL_LINT_LINTCHECK_H
#define OSTREL_LINT_LINTCHECK_H

/// The checks of ostrel-lint, each a kind of mistake that makes a check file
/// check less than its author meant, and a finding: one place where a check
/// found such a mistake.

#include "support/diag/SourceRegistry.h"
#include "support/fs/TextRef.h"

#include <optional>
#include <span>
#include <string>

namespace ostrel {

enum class LintCheck {
  MisspelledDirective,
  BadCount,
  RegexEscape,
  EmptyMatch,
  UnusedVariable,
  UndefinedVariable,
  SameLineNumeric,
  CheckFileError,
  DeadDirective,
  UnusedSuppression,
};

struct LintCheckInfo {
  LintCheck check;
  /// The name in "[-W<name>]" and "-Wno-<name>".
  TextRef name;
  /// What the check finds, for the help listing.
  TextRef help;
  /// Errors for checks whose findings make ostrel reject the file.
  DiagSeverity severity;
};

/// Every check, in the order of the LintCheck values.
std::span<const LintCheckInfo> lintChecks();
TextRef checkName(LintCheck check);
/// The check named `name`, if there is one.
std::optional<LintCheck> checkNamed(TextRef name);

/// A mechanical repair: `range` (end exclusive) becomes `replacement`.
struct FixIt {
  SourceRange range;
  std::string replacement;
};

struct Finding {
  LintCheck check;
  /// Where the caret goes; `range`, when valid, is underlined (end exclusive).
  SourceLocation location = nullptr;
  SourceRange range;
  std::string message;
  std::optional<FixIt> fix = std::nullopt;
};

} // namespace ostrel

#endif
