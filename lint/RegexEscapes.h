#ifndef OSTREL_LINT_REGEXESCAPES_H
#define OSTREL_LINT_REGEXESCAPES_H

/// Finds the escapes that other regular-expression dialects give a meaning
/// (\d, \s, \w, \b, \<, ...) in an expression written for Ostrel, whose POSIX
/// expressions read them as the plain character after the backslash.

#include "lint/LintCheck.h"
#include "support/fs/TextRef.h"

#include <vector>

namespace ostrel {

/// Appends a finding for each such escape in `expression`, which points into
/// the check text just after the "{{" or the ":" of a definition. Escapes
/// with an exact equivalent get it as their fix inside "{{...}}".
void findRegexEscapes(TextRef expression, std::vector<Finding> &findings);

} // namespace ostrel

#endif
