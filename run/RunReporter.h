#ifndef OSTREL_RUN_RUNREPORTER_H
#define OSTREL_RUN_RUNREPORTER_H

/// What a person sees of a run. On a terminal, one progress line rewritten
/// in place (done/total, failures, elapsed time, an estimate of the time
/// left, the test running longest); elsewhere one line per finished test
/// that did not pass. After the run, a report of each failure and the
/// summary line "N passed, N failed" (", N skipped", ", N expected
/// failures" when nonzero). Result words are coloured by the checker's rules.

#include "run/TestDiscovery.h"
#include "run/TestExecutor.h"

#include <chrono>
#include <map>
#include <optional>
#include <vector>

namespace ostrel {

class OutputStream;

enum class Verbosity { Quiet, Normal, Verbose };

/// The counts of the summary line.
struct RunCounts {
  size_t passed = 0;
  size_t failed = 0;
  size_t skipped = 0;
  size_t expectedFailures = 0;
  void add(TestResult result);
};

/// "N passed, N failed", then ", N skipped" and ", N expected failures" when
/// nonzero; no line feed.
std::string summaryLine(const RunCounts &counts);

class RunReporter : public ExecutionObserver {
public:
  /// `terminal`: the progress line is drawn on `os`.
  RunReporter(const TestPlan &plan, OutputStream &os, bool terminal, Verbosity verbosity,
              size_t total);

  void testStarted(size_t test) override;
  void testFinished(size_t test, const TestOutcome &outcome) override;
  void tick() override;
  unsigned tickMilliseconds() const override { return terminal_ ? 250 : 0; }

  /// Clears the progress line; call before anything else is written.
  void endProgress();
  /// The report of one failed test.
  void printFailure(size_t test, const TestOutcome &outcome);
  /// Writes `word` in the colour of `result`.
  void writeResultWord(TestResult result, const char *word);

private:
  void drawProgress();

  const TestPlan &plan_;
  OutputStream &os_;
  bool terminal_;
  Verbosity verbosity_;
  size_t total_;
  size_t done_ = 0;
  size_t failures_ = 0;
  std::chrono::steady_clock::time_point started_;
  std::map<size_t, std::chrono::steady_clock::time_point> running_;
  bool progressShown_ = false;
};

} // namespace ostrel

#endif
