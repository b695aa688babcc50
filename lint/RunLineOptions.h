#ifndef OSTREL_LINT_RUNLINEOPTIONS_H
#define OSTREL_LINT_RUNLINEOPTIONS_H

/// The check prefixes and variable definitions that a check file's own RUN:
/// lines hand to ostrel, so that a file is linted as ostrel would read it.

#include "support/fs/TextRef.h"

#include <string>
#include <vector>

struct RunLineOptions {
  /// Each prefix once, in order of appearance.
  std::vector<std::string> checkPrefixes;
  /// The values of -D.
  std::vector<std::string> defines;
};

/// The values of -check-prefix and -check-prefixes (one or two dashes, with
/// "=" or as the next word) and of -D given to a command named ostrel in
/// `runLines`, the texts after the RUN: directives in file order. A line
/// ending in a backslash continues on the next.
RunLineOptions optionsFromRunLines(const std::vector<TextRef> &runLines);

#endif
