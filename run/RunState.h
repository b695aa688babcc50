#ifndef OSTREL_RUN_RUNSTATE_H
#define OSTREL_RUN_RUNSTATE_H

/// What the previous runs of a suite left in `.ostrel-run/` at its root:
/// each test's last result and time, by its path relative to the root. It
/// serves --last-failed and --order=slowest-first; a run replaces the
/// entries of the tests it finished and keeps the others.

#include "run/TestOutcome.h"
#include "support/diag/ErrorValue.h"

#include <map>
#include <string>

namespace ostrel {

struct RecordedResult {
  TestResult result = TestResult::Pass;
  double seconds = 0;
};

class RunState {
public:
  /// The state of the suite rooted at `root`; empty when none was recorded
  /// or it cannot be read.
  static RunState load(const std::string &root);

  /// The entry of `test` (a path relative to the root), or null.
  const RecordedResult *find(const std::string &test) const;
  void record(const std::string &test, RecordedResult result);
  /// Writes the state back to the root it was loaded from.
  ErrorValue save() const;

  /// The state file of `root`.
  static std::string filePath(const std::string &root);

private:
  std::string root_;
  std::map<std::string, RecordedResult> entries_;
};

} // namespace ostrel

#endif
