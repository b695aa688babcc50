#ifndef OSTREL_LINT_LINTOPTIONS_H
#define OSTREL_LINT_LINTOPTIONS_H

/// The command-line options of ostrel-lint, registered during static
/// initialisation and read after parsing.

#include "lint/LintCheck.h"

#include <string>
#include <vector>

namespace lintOptions {

const std::vector<std::string> &paths();
const std::vector<std::string> &includeGlobs();
const std::vector<std::string> &checkPrefixes();
const std::vector<std::string> &commentPrefixes();
const std::vector<std::string> &defines();
bool strictWhitespace();
bool matchFullLines();
bool enableVarScope();
bool warningsAreErrors();
bool quiet();
/// False when -Wno-<name> turned the check off.
bool checkEnabled(LintCheck check);

} // namespace lintOptions

#endif
