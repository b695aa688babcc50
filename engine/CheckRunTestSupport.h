#ifndef OSTREL_ENGINE_CHECKRUNTESTSUPPORT_H
#define OSTREL_ENGINE_CHECKRUNTESTSUPPORT_H

/// Test helper: one CheckRun over a check text and an input held in memory,
/// with what it reported kept.

#include "engine/CheckRun.h"
#include "engine/DiagnosticSink.h"
#include "engine/MatchDiag.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace ostrel {

/// Expects `result` to be success; otherwise shows what was reported.
inline void expectSuccess(ErrorValue result, const DiagnosticRecorder &reports) {
  EXPECT_FALSE(result) << reports.printed();
  dropError(std::move(result));
}

struct TestRun {
  CheckOptions options;
  DiagnosticRecorder reports;
  std::unique_ptr<CheckRun> checkRun;
  TextRef input;
  std::vector<MatchDiag> records;
  /// What verifying the input reported, as the checker would print it.
  std::string errors;
  bool passed = false;

  /// Reads `check` (named check.txt), which must be accepted, and verifies
  /// `input` (input.txt); records go to `records` when `withRecords`.
  TestRun &run(TextRef check, TextRef inputText, bool withRecords = false) {
    checkRun = std::make_unique<CheckRun>(options, reports);
    RunStatus status = checkRun->runTexts({.checkText = check, .input = inputText},
                                          withRecords ? &records : nullptr);
    EXPECT_NE(status, RunStatus::Rejected) << reports.printed();
    passed = status == RunStatus::Passed;
    input = checkRun->input();
    errors = reports.printed();
    return *this;
  }
};

} // namespace ostrel

#endif
