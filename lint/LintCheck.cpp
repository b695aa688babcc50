#include "lint/LintCheck.h"

namespace {

constexpr LintCheckInfo checkTable[] = {
    {LintCheck::MisspelledDirective, "misspelled-directive",
     "a word that looks like a directive but is not one"},
    {LintCheck::BadCount, "bad-count", "a -COUNT directive without a count from 1 up"},
    {LintCheck::RegexEscape, "regex-escape",
     "an escape such as \\d that a POSIX expression reads as a plain character"},
    {LintCheck::EmptyMatch, "empty-match",
     "a pattern that can match the empty text"},
    {LintCheck::UnusedVariable, "unused-variable",
     "a captured variable that no later directive uses"},
    {LintCheck::UndefinedVariable, "undefined-variable",
     "a variable used before any directive or -D defines it"},
    {LintCheck::SameLineNumeric, "same-line-numeric",
     "a numeric variable defined and used in one directive"},
    {LintCheck::CheckFileError, "check-file-error", "an error that makes ostrel reject the file"},
};

} // namespace

std::span<const LintCheckInfo> lintChecks() { return checkTable; }

TextRef checkName(LintCheck check) { return checkTable[static_cast<size_t>(check)].name; }
