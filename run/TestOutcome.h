#ifndef OSTREL_RUN_TESTOUTCOME_H
#define OSTREL_RUN_TESTOUTCOME_H

/// The result kinds of a test and what a finished test leaves to report.

#include <cstdint>
#include <string>

namespace ostrel {

enum class TestResult { Pass, Fail, XFail, XPass, Unsupported, Timeout };

/// "PASS", "FAIL", "XFAIL", "XPASS", "UNSUPPORTED", "TIMEOUT".
const char *resultName(TestResult result);
/// The kind named `name` (as resultName writes it); false when none is.
bool resultFromName(const std::string &name, TestResult &result);
/// FAIL, XPASS and TIMEOUT.
bool isFailure(TestResult result);

struct TestOutcome;

/// What a failure report says below its heading: why, the failing command,
/// how it ended, the scratch folder kept, and the output with the count of
/// bytes omitted, one item a line.
std::string failureDetails(const TestOutcome &outcome);

/// "exit status 1" or "ended by signal 9 (Killed)"; empty without a status.
std::string endDescription(const TestOutcome &outcome);

struct TestOutcome {
  TestResult result = TestResult::Pass;
  double seconds = 0;
  /// The RUN line that failed (or was running at the timeout), as run.
  std::string command;
  /// How that line ended: its exit status, or the signal that ended it.
  bool hasStatus = false;
  bool signalled = false;
  int status = 0;
  /// The test's standard output and error, interleaved, up to the capture
  /// limit; `omittedBytes` counts what came after.
  std::string output;
  uint64_t omittedBytes = 0;
  /// Why, in words, when the status alone does not say it ("no RUN line",
  /// "timed out after 2 s", "missing feature: x").
  std::string message;
  /// The scratch folder kept after a failure.
  std::string scratch;
};

} // namespace ostrel

#endif
