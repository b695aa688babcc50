#include "run/TestOutcome.h"

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
