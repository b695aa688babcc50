#include "lint/LintCheck.h"

namespace ostrel {

namespace {

constexpr LintCheckInfo checkTable[] = {
    {LintCheck::MisspelledDirective, "misspelled-directive",
     "a word that looks like a directive but is not one", DiagSeverity::Warning},
    {LintCheck::BadCount, "bad-count", "a -COUNT directive without a count from 1 up",
     DiagSeverity::Warning},
    {LintCheck::RegexEscape, "regex-escape",
     "an escape such as \\d that a POSIX expression reads as a plain character",
     DiagSeverity::Warning},
    {LintCheck::EmptyMatch, "empty-match",
     "a pattern that can match the empty text", DiagSeverity::Warning},
    {LintCheck::UnusedVariable, "unused-variable",
     "a captured variable that no later directive uses", DiagSeverity::Warning},
    {LintCheck::UndefinedVariable, "undefined-variable",
     "a variable used before any directive or -D defines it", DiagSeverity::Warning},
    {LintCheck::SameLineNumeric, "same-line-numeric",
     "a numeric variable defined and used in one directive", DiagSeverity::Warning},
    {LintCheck::CheckFileError, "check-file-error", "an error that makes ostrel reject the file",
     DiagSeverity::Error},
    {LintCheck::DeadDirective, "dead-directive",
     "a directive of a prefix that no RUN: line gives to ostrel", DiagSeverity::Warning},
    {LintCheck::UnusedSuppression, "unused-suppression",
     "an ostrel-lint: ignore comment that suppresses nothing", DiagSeverity::Warning},
};

} // namespace

std::span<const LintCheckInfo> lintChecks() { return checkTable; }

TextRef checkName(LintCheck check) { return checkTable[static_cast<size_t>(check)].name; }

std::optional<LintCheck> checkNamed(TextRef name) {
  for (const LintCheckInfo &info : checkTable)
    if (info.name == name)
      return info.check;
  return std::nullopt;
}

} // namespace ostrel
