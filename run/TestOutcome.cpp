#include "run/TestOutcome.h"

#include <cstring>

namespace ostrel {

namespace {

struct ResultRow {
  TestResult result;
  const char *name;
  bool failure;
};

constexpr ResultRow resultRows[] = {
    {TestResult::Pass, "PASS", false},
    {TestResult::Fail, "FAIL", true},
    {TestResult::XFail, "XFAIL", false},
    {TestResult::XPass, "XPASS", true},
    {TestResult::Unsupported, "UNSUPPORTED", false},
    {TestResult::Timeout, "TIMEOUT", true},
};

const ResultRow &rowOf(TestResult result) { return resultRows[static_cast<size_t>(result)]; }

} // namespace

const char *resultName(TestResult result) { return rowOf(result).name; }

bool isFailure(TestResult result) { return rowOf(result).failure; }

bool resultFromName(const std::string &name, TestResult &result) {
  for (const ResultRow &row : resultRows) {
    if (name == row.name) {
      result = row.result;
      return true;
    }
  }
  return false;
}

std::string endDescription(const TestOutcome &outcome) {
  if (!outcome.hasStatus)
    return {};
  if (!outcome.signalled)
    return "exit status " + std::to_string(outcome.status);
  return "ended by signal " + std::to_string(outcome.status) + " (" +
         std::string(strsignal(outcome.status)) + ")";
}

std::string failureDetails(const TestOutcome &outcome) {
  std::string text;
  if (!outcome.message.empty())
    text += outcome.message + "\n";
  if (!outcome.command.empty())
    text += "command: " + outcome.command + "\n";
  if (outcome.hasStatus)
    text += endDescription(outcome) + "\n";
  if (!outcome.scratch.empty())
    text += "scratch folder kept: " + outcome.scratch + "\n";
  if (!outcome.output.empty() || outcome.omittedBytes) {
    text += "output:\n" + outcome.output;
    if (!outcome.output.empty() && outcome.output.back() != '\n')
      text += '\n';
    if (outcome.omittedBytes)
      text += "... " + std::to_string(outcome.omittedBytes) + " bytes omitted\n";
  }
  return text;
}

} // namespace ostrel
