#ifndef OSTREL_ENGINE_CHECKSTEP_H
#define OSTREL_ENGINE_CHECKSTEP_H

/// One positive directive together with the NOT and DAG patterns written
/// before it (and the command-line NOT patterns), as the checking runs it.

#include "engine/CheckPattern.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/TextRef.h"

#include <vector>

struct CheckStep {
  /// The positive pattern: Plain, Next, Same, Label, Empty or ImplicitEof.
  CheckPattern pattern;
  /// The check prefix as written at the directive (into the check text); the
  /// first check prefix for the end-of-input step.
  TextRef prefix;
  /// First character of the pattern text; for the end-of-input step, where
  /// the reader's last search for a prefix began.
  SourceLocation location{};
  /// Command-line NOT patterns first, then the NOT and DAG directives between
  /// the previous positive directive and this one, in file order.
  std::vector<CheckPattern> dagNotPatterns;
};

#endif
