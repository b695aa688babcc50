#ifndef OSTREL_LINT_FILELINTER_H
#define OSTREL_LINT_FILELINTER_H

/// Lints one check file: finds its directives as the checker does, once for
/// every distinct way its RUN: lines call ostrel (or with the prefixes
/// given), runs every check over them, applies the file's suppression
/// comments and answers the findings in file order, placed in the file as
/// written.

#include "lint/LintCheck.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/TextRef.h"

#include <string>
#include <vector>

namespace ostrel {

/// How ostrel would read the files; the text lists are kept by the caller.
struct LintSettings {
  /// Explicit check prefixes; empty means that each call of ostrel on the
  /// file's RUN: lines is linted with its own prefixes (the default prefix
  /// when there is no call).
  std::vector<TextRef> checkPrefixes;
  std::vector<TextRef> commentPrefixes;
  /// Command-line definitions, each holding an "=" after its first character.
  std::vector<TextRef> defines;
  bool strictWhitespace = false;
  bool matchFullLines = false;
  bool enableVarScope = false;
  bool allowUnusedPrefixes = false;
};

struct FileFindings {
  /// False when the file holds neither a directive of a check prefix nor
  /// anything that looks like one.
  bool isCheckFile = false;
  /// Located in the buffer of `source` that lintCheckFile registers.
  std::vector<Finding> findings;
};

/// Lints `source`, the contents of the file `name`, which ends with a NUL
/// that it does not include. `source` is added to `registry` as it is, and
/// the findings point into it; `store` keeps the prepared text.
FileFindings lintCheckFile(const LintSettings &settings, TextRef source, TextRef name,
                           SourceRegistry &registry, std::string &store);

} // namespace ostrel

#endif
