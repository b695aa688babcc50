#ifndef OSTREL_ENGINE_CHECKRUNTESTSUPPORT_H
#define OSTREL_ENGINE_CHECKRUNTESTSUPPORT_H

/// Test helper: runs the whole engine (prefixes, reading, checking) on a
/// check text and an input held in memory, the way the driver would call it,
/// and keeps what it reported.

#include "engine/CheckEngine.h"
#include "engine/DiagnosticSink.h"
#include "engine/MatchDiag.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/FileBuffer.h"

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

struct CheckRun {
  CheckOptions options;
  DiagnosticRecorder reports;
  SourceRegistry registry;
  std::unique_ptr<CheckEngine> engine;
  std::string checkStore;
  std::string inputStore;
  TextRef input;
  std::vector<MatchDiag> records;
  /// What verifyInput reported, as the checker would print it.
  std::string errors;
  bool passed = false;

  /// Reads `check` (named check.txt) and verifies `input` (input.txt);
  /// records go to `records` when `withRecords`.
  CheckRun &run(TextRef check, TextRef inputText, bool withRecords = false) {
    engine = std::make_unique<CheckEngine>(options, reports);
    expectSuccess(engine->verifyPrefixes(), reports);
    CompiledRegex prefixMatcher = engine->buildPrefixMatcher();
    TextRef checkText = engine->prepareText(check, checkStore);
    registry.addBuffer(viewText(checkText, "check.txt"));
    expectSuccess(engine->parseCheckText(registry, checkText, prefixMatcher), reports);
    reports.clear();
    input = engine->prepareText(inputText, inputStore);
    registry.addBuffer(viewText(input, "input.txt"));
    ErrorValue failed = engine->verifyInput(registry, input, withRecords ? &records : nullptr);
    passed = !failed;
    dropError(std::move(failed));
    errors = reports.printed();
    return *this;
  }
};

} // namespace ostrel

#endif
