#include "run/RunReporter.h"

#include "support/diag/ColourScope.h"
#include "support/diag/OutputStream.h"

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace ostrel {

namespace {

using Clock = std::chrono::steady_clock;

TextColour colourOf(TestResult result) {
  switch (result) {
  case TestResult::Pass: return TextColour::Green;
  case TestResult::XFail: return TextColour::Green;
  case TestResult::Unsupported: return TextColour::Yellow;
  case TestResult::Fail:
  case TestResult::XPass:
  case TestResult::Timeout: return TextColour::Red;
  }
  return TextColour::Red;
}

/// "1:05" for 65 seconds, "1:00:05" past an hour.
std::string clockTime(double seconds) {
  long total = static_cast<long>(seconds + 0.5);
  char text[32];
  if (total >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  return text;
}

std::string fixed2(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", seconds);
  return text;
}

size_t terminalWidth() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
    return size.ws_col;
  return 80;
}

} // namespace

void RunCounts::add(TestResult result) {
  switch (result) {
  case TestResult::Pass: ++passed; break;
  case TestResult::XFail: ++expectedFailures; break;
  case TestResult::Unsupported: ++skipped; break;
  case TestResult::Fail:
  case TestResult::XPass:
  case TestResult::Timeout: ++failed; break;
  }
}

std::string summaryLine(const RunCounts &counts) {
  std::string line = std::to_string(counts.passed) + " passed, " + std::to_string(counts.failed) +
                     " failed";
  if (counts.skipped)
    line += ", " + std::to_string(counts.skipped) + " skipped";
  if (counts.expectedFailures)
    line += ", " + std::to_string(counts.expectedFailures) + " expected failures";
  return line;
}

RunReporter::RunReporter(const TestPlan &plan, OutputStream &os, bool terminal,
                         Verbosity verbosity, size_t total)
    : plan_(plan), os_(os), terminal_(terminal && verbosity != Verbosity::Quiet),
      verbosity_(verbosity), total_(total), started_(Clock::now()) {}

void RunReporter::writeResultWord(TestResult result, const char *word) {
  ColourScope colour(os_, ColourStyle{colourOf(result), true, false});
  os_ << word;
}

void RunReporter::testStarted(size_t test) { running_.emplace(test, Clock::now()); }

void RunReporter::testFinished(size_t test, const TestOutcome &outcome) {
  running_.erase(test);
  ++done_;
  if (isFailure(outcome.result))
    ++failures_;
  bool shown = verbosity_ == Verbosity::Verbose ||
               (verbosity_ == Verbosity::Normal && outcome.result != TestResult::Pass);
  if (shown) {
    endProgress();
    writeResultWord(outcome.result, resultName(outcome.result));
    os_ << ": " << plan_.tests[test].path << " (" << fixed2(outcome.seconds) << " s)\n";
  }
  if (terminal_)
    drawProgress();
  else
    os_.flush();
}

void RunReporter::tick() {
  if (terminal_)
    drawProgress();
}

void RunReporter::endProgress() {
  if (progressShown_) {
    os_ << "\r\x1b[K";
    progressShown_ = false;
  }
}

void RunReporter::drawProgress() {
  double elapsed = std::chrono::duration<double>(Clock::now() - started_).count();
  std::string line = "[" + std::to_string(done_) + "/" + std::to_string(total_) + "] " +
                     std::to_string(failures_) + " failed, " + clockTime(elapsed) + " elapsed";
  if (done_ > 0 && done_ < total_)
    line += ", ~" + clockTime(elapsed / static_cast<double>(done_) *
                              static_cast<double>(total_ - done_)) + " left";
  auto longest = running_.end();
  for (auto it = running_.begin(); it != running_.end(); ++it)
    if (longest == running_.end() || it->second < longest->second)
      longest = it;
  if (longest != running_.end())
    line += ", running: " + plan_.tests[longest->first].path + " (" +
            clockTime(std::chrono::duration<double>(Clock::now() - longest->second).count()) + ")";
  // A line wider than the terminal wraps, and \r then rewrites only its end.
  size_t width = terminalWidth();
  if (line.size() >= width)
    line.resize(width - 1);
  os_ << '\r' << line << "\x1b[K";
  os_.flush();
  progressShown_ = true;
}

void RunReporter::printFailure(size_t test, const TestOutcome &outcome) {
  os_ << "======== ";
  writeResultWord(outcome.result, resultName(outcome.result));
  os_ << ": " << plan_.tests[test].path << " (" << fixed2(outcome.seconds) << " s)\n";
  os_ << failureDetails(outcome);
}

} // namespace ostrel
