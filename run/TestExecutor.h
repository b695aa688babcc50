#ifndef OSTREL_RUN_TESTEXECUTOR_H
#define OSTREL_RUN_TESTEXECUTOR_H

/// Runs tests side by side. Each RUN line runs as `bash -e -o pipefail -c`
/// in the test's folder, in a process group of its own, with standard
/// output and error captured together (bounded) and standard input empty.
/// A line is over when its main process ends, whoever still holds the
/// output; then everything the test started is killed and reaped. A test
/// past its timeout gets TERM, and KILL after a grace; an interrupt (INT,
/// TERM, HUP, or PIPE when the reader of the output has gone) ends the
/// running tests the same way and starts no new one.

#include "run/TestDiscovery.h"
#include "run/TestOutcome.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

/// Told what happens while tests run; all calls come from the running thread.
class ExecutionObserver {
public:
  virtual ~ExecutionObserver();
  virtual void testStarted(size_t test) = 0;
  virtual void testFinished(size_t test, const TestOutcome &outcome) = 0;
  /// Called at least every tickMilliseconds() while tests run (0: never).
  virtual void tick() {}
  virtual unsigned tickMilliseconds() const { return 0; }
};

struct ExecutionSettings {
  unsigned jobs = 1;
  /// Start no new test after this many failures; 0 for no limit.
  unsigned maxFailures = 0;
  /// Where each test's scratch folder is made.
  std::string scratchRoot;
  /// Put first on PATH, so that the toolkit's programs are found there.
  std::string programFolder;
  /// Seconds between TERM and KILL.
  double killGrace = 2;
  /// Bytes of output kept per test.
  size_t captureLimit = 1 << 20;
  /// Keep the output of tests that did not fail too (for the JSON file);
  /// otherwise it is let go as each such test ends, so that a large suite
  /// holds only its failures' output.
  bool keepEveryOutput = false;
};

class TestExecutor {
public:
  TestExecutor(const TestPlan &plan, ExecutionSettings settings, ExecutionObserver &observer);
  ~TestExecutor();
  TestExecutor(const TestExecutor &) = delete;
  TestExecutor &operator=(const TestExecutor &) = delete;

  /// Runs the tests `order` names (indices into the plan's tests), in that
  /// order of starting. `outcomes` (one per test of the plan) receives the
  /// outcome of each test that finished.
  void run(const std::vector<size_t> &order, std::vector<std::optional<TestOutcome>> &outcomes);

  /// The signal that interrupted the run, or 0.
  int interruptSignal() const { return interruptSignal_; }
  /// True when the failure limit stopped the run early.
  bool stoppedAtMaxFailures() const { return stoppedAtMaxFailures_; }

  /// Runs one test alone, without the observer, and answers its outcome:
  /// for running a test again after its check file was refreshed.
  TestOutcome runOne(size_t test);

private:
  struct Running;
  struct SuiteEnvironment;

  /// Prepares and starts `test`; answers the outcome when it ends at once
  /// (unsupported, unreadable) instead of running.
  std::optional<TestOutcome> start(size_t test, std::vector<Running> &running);
  bool startLine(Running &test);
  /// Reads what the test's current line has written, without blocking.
  void drain(Running &test);
  /// Handles the end of the test's current line: starts the next one, or
  /// answers true when the test is over.
  bool lineEnded(Running &test);
  TestOutcome finish(Running &test);
  void signalGroups(Running &test, int signal);
  const SuiteEnvironment &environmentOf(size_t suite);

  const TestPlan &plan_;
  ExecutionSettings settings_;
  ExecutionObserver &observer_;
  std::vector<std::unique_ptr<SuiteEnvironment>> environments_;
  int interruptSignal_ = 0;
  bool stoppedAtMaxFailures_ = false;
};

} // namespace ostrel

#endif
