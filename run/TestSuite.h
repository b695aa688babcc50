#ifndef OSTREL_RUN_TESTSUITE_H
#define OSTREL_RUN_TESTSUITE_H

/// A suite of tests: the folder its suite file sits in (its root) and the
/// settings of the file's [run] table, with the command line's additions.

#include "run/Substitutions.h"
#include "support/diag/ErrorValue.h"

#include <string>
#include <utility>
#include <vector>

namespace ostrel {

struct TestSuite {
  /// The folder of the suite file; without one, the folder named on the
  /// command line (or the named file's folder).
  std::string root;
  /// True when the suite file exists: only then do suffixes decide which
  /// files of a folder are tests.
  bool hasFile = false;
  std::vector<std::string> suffixes;
  std::vector<std::string> exclude;
  /// Seconds per test; 0 for none.
  double timeout = 0;
  std::vector<std::string> features;
  /// Names and values as written; the per-test names are added when a test
  /// runs.
  std::vector<std::pair<std::string, std::string>> substitutions;
  std::vector<std::pair<std::string, std::string>> environment;
};

/// What the command line adds to or overrides in every suite.
struct SuiteOverrides {
  bool hasTimeout = false;
  double timeout = 0;
  std::vector<std::string> features;
  std::vector<std::pair<std::string, std::string>> substitutions;
};

/// The suite at `root`: reads `root`/ostrel.toml when `hasFile`, then
/// applies `overrides`. Errors are located in the suite file.
ValueOrError<TestSuite> loadTestSuite(const std::string &root, bool hasFile,
                                      const SuiteOverrides &overrides);

/// True when the feature list `on` holds `feature`.
bool featureOn(const std::vector<std::string> &on, const std::string &feature);

} // namespace ostrel

#endif
