#ifndef OSTREL_ENGINE_CHECKSTEP_H
#define OSTREL_ENGINE_CHECKSTEP_H

/// One positive directive together with the NOT and DAG patterns written
/// before it (and the command-line NOT patterns), as the checking runs it.

#include "engine/CheckPattern.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/TextRef.h"

#include <memory>
#include <vector>

namespace ostrel {

struct CheckStep {
  /// The positive pattern: Plain, Next, Same, Label, Empty or ImplicitEof.
  CheckPattern pattern;
  /// The check prefix as written at the directive (into the check text); the
  /// first check prefix for the end-of-input step.
  TextRef prefix;
  /// First character of the pattern text; for the end-of-input step, where
  /// the reader's last search for a prefix began.
  SourceLocation location{};
  /// The NOT and DAG directives between the previous positive directive and
  /// this one, in file order.
  std::vector<CheckPattern> dagNotPatterns;
  /// The command-line NOT patterns, which come before dagNotPatterns. Every
  /// step refers to the one list the engine holds; null when there are none.
  std::shared_ptr<const std::vector<CheckPattern>> implicitNotPatterns;

  /// The command-line NOT patterns (an empty list when there are none).
  const std::vector<CheckPattern> &implicitNots() const {
    static const std::vector<CheckPattern> none;
    return implicitNotPatterns ? *implicitNotPatterns : none;
  }
};

} // namespace ostrel

#endif
