#ifndef OSTREL_RUN_SUITEUPDATER_H
#define OSTREL_RUN_SUITEUPDATER_H

/// Refreshes the check files of failed tests: for each test whose failing
/// RUN line feeds a producer's output to ostrel (or gives it --input-file),
/// runs the producer into a scratch file, has the ostrel-update program
/// beside the runner rewrite the check file from it, runs the test again to
/// prove it passes (restoring the file when it does not), and prints the
/// diff. Interactively, it shows each diff and asks first.

#include "run/ResultFiles.h"
#include "run/TestExecutor.h"

#include <cstdio>
#include <string>
#include <vector>

namespace ostrel {

class OutputStream;

struct UpdateCounts {
  size_t updated = 0;
  size_t refused = 0;
  size_t unchanged = 0;
};

/// "update: N updated, N refused, N unchanged".
std::string updateSummary(const UpdateCounts &counts);

class SuiteUpdater {
public:
  /// `answers` is read for the questions of an interactive refresh (null:
  /// refresh without asking).
  SuiteUpdater(const TestPlan &plan, TestExecutor &executor, const ExecutionSettings &settings,
               OutputStream &os, std::FILE *answers);

  /// Refreshes each failed test of `order`; the outcome of a refreshed test
  /// becomes that of its run after the refresh.
  UpdateCounts updateAll(const std::vector<size_t> &order, TestOutcomes &outcomes);

private:
  enum class Answer { Yes, No, All, Quit };
  enum class Step { Updated, Refused, Unchanged, Quit };
  Step update(size_t test, TestOutcome &outcome);
  Answer ask(const std::string &path);
  void say(const char *word, size_t test, const std::string &detail);

  const TestPlan &plan_;
  TestExecutor &executor_;
  const ExecutionSettings &settings_;
  OutputStream &os_;
  std::FILE *answers_;
  bool askEach_;
};

} // namespace ostrel

#endif
