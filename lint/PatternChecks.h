#ifndef OSTREL_LINT_PATTERNCHECKS_H
#define OSTREL_LINT_PATTERNCHECKS_H

/// The checks that look at parsed patterns: escapes of other regex
/// dialects, patterns that can match the empty text, and variables that are
/// captured but never used or used but never defined.

#include "engine/CheckStep.h"
#include "lint/LintCheck.h"
#include "support/fs/TextRef.h"

#include <unordered_map>
#include <vector>

namespace ostrel {

/// Where a pattern was written: its directive's prefix and the pattern text.
struct PatternSource {
  TextRef prefix;
  TextRef text;
};

enum class VariableChecks { On, Off };

/// Runs the checks over the patterns of `steps`, in file order. `sources`
/// maps each pattern's location to where it was written; `defines` are the
/// command-line definitions; with `enableVarScope`, variables whose names do
/// not begin with "$" end at each LABEL directive. The variable checks need
/// every pattern of the file and are left out when `variableChecks` is Off.
void checkPatterns(const std::vector<CheckStep> &steps,
                   const std::unordered_map<SourceLocation, PatternSource> &sources,
                   const std::vector<TextRef> &defines, VariableChecks variableChecks,
                   bool enableVarScope, std::vector<Finding> &findings);

/// The variable name a command-line definition defines: NAME of NAME=VALUE,
/// #NAME=EXPR or #FORMAT,NAME=EXPR.
TextRef definedName(TextRef definition);

} // namespace ostrel

#endif
