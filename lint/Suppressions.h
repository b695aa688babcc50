#ifndef OSTREL_LINT_SUPPRESSIONS_H
#define OSTREL_LINT_SUPPRESSIONS_H

/// The suppression comments of a check file: a comment directive whose text
/// is "ostrel-lint: ignore <check>..." silences those checks on the next
/// line that is not itself such a comment, "ostrel-lint: ignore-file
/// <check>..." in the whole file. Checks are separated by commas or blanks.

#include "engine/DirectiveScanner.h"
#include "lint/LintCheck.h"
#include "support/fs/TextRef.h"

#include <vector>

namespace ostrel {

/// Removes from `findings` those that the suppression comments among
/// `directives` (found in `text`) silence, and adds an unused-suppression
/// finding for each named check that silences nothing, each unknown check
/// name and each comment that is neither form.
void applySuppressions(TextRef text, const std::vector<FoundDirective> &directives,
                       std::vector<Finding> &findings);

} // namespace ostrel

#endif
