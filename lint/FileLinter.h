#ifndef OSTREL_LINT_FILELINTER_H
#define OSTREL_LINT_FILELINTER_H

/// Lints one check file: finds its directives as the checker does (with the
/// prefixes of its RUN: lines unless prefixes are given), runs every check
/// over them and answers the findings in file order.

#include "lint/LintCheck.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/TextRef.h"

#include <string>
#include <vector>

/// How ostrel would read the files; the text lists are kept by the caller.
struct LintSettings {
  /// Explicit check prefixes; empty means the default prefix plus the
  /// prefixes of each file's RUN: lines.
  std::vector<TextRef> checkPrefixes;
  std::vector<TextRef> commentPrefixes;
  /// Command-line definitions, each holding an "=" after its first character.
  std::vector<TextRef> defines;
  bool strictWhitespace = false;
  bool matchFullLines = false;
  bool enableVarScope = false;
};

struct FileFindings {
  /// False when the file holds neither a directive of a check prefix nor
  /// anything that looks like one.
  bool isCheckFile = false;
  std::vector<Finding> findings;
};

/// Lints `source`, the contents of the file `name`. The prepared text goes
/// into `store` and is added to `registry`; the findings point into it.
FileFindings lintCheckFile(const LintSettings &settings, TextRef source, TextRef name,
                           SourceRegistry &registry, std::string &store);

#endif
