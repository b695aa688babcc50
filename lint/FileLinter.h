#ifndef OSTREL_LINT_FILELINTER_H
#define OSTREL_LINT_FILELINTER_H

/// Lints one check file: finds its directives as the checker does, once for
/// every distinct way its RUN: lines call ostrel (or with the prefixes
/// given), runs every check over them, applies the file's suppression
/// comments and answers the findings in file order, placed in the file as
/// written.

#include "engine/CheckOptions.h"
#include "lint/LintCheck.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/TextRef.h"

#include <string>
#include <vector>

namespace ostrel {

struct FileFindings {
  /// False when the file holds neither a directive of a check prefix nor
  /// anything that looks like one.
  bool isCheckFile = false;
  /// Located in the buffer of `source` that lintCheckFile registers.
  std::vector<Finding> findings;
};

/// Lints `source`, the contents of the file `name`, which ends with a NUL
/// that it does not include, read as ostrel would read it with `options`
/// (whose text lists the caller keeps). Empty check prefixes mean that each
/// call of ostrel on the file's RUN: lines is linted with its own prefixes
/// (the default prefix when there is no call); the definitions are of good
/// shape (DefinitionShape.h). `source` is added to `registry` as it is, and
/// the findings point into it; `store` keeps the prepared text.
FileFindings lintCheckFile(const CheckOptions &options, TextRef source, TextRef name,
                           SourceRegistry &registry, std::string &store);

} // namespace ostrel

#endif
