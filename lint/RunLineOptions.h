#ifndef OSTREL_LINT_RUNLINEOPTIONS_H
#define OSTREL_LINT_RUNLINEOPTIONS_H

/// The calls of ostrel that a check file's own RUN: lines make, each with
/// the prefixes, definitions and reading options it hands over, so that a
/// file is linted once for every way ostrel reads it.

#include "support/fs/TextRef.h"

#include <string>
#include <vector>

namespace ostrel {

/// One call of ostrel on a RUN: line.
struct CheckerCall {
  /// The prefixes of -check-prefix and -check-prefixes, each once, in order
  /// of appearance; empty when the call leaves the default.
  std::vector<std::string> checkPrefixes;
  /// The values of -D.
  std::vector<std::string> defines;
  bool enableVarScope = false;
  bool matchFullLines = false;
  bool allowUnusedPrefixes = false;
  /// The RUN: line texts that the call's command is written on.
  std::vector<TextRef> lines;
};

/// The calls of a command named ostrel (a path ending in "/ostrel", or a
/// substitution such as %ostrel or %{ostrel}) in `runLines`, the texts after
/// the RUN: directives in file order. Options take one or two dashes, and
/// their value after "=" or as the next word. A line ending in a backslash
/// continues on the next.
std::vector<CheckerCall> checkerCalls(const std::vector<TextRef> &runLines);

} // namespace ostrel

#endif
