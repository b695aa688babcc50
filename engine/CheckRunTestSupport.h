#ifndef OSTREL_ENGINE_CHECKRUNTESTSUPPORT_H
#define OSTREL_ENGINE_CHECKRUNTESTSUPPORT_H

/// Test helper: runs the whole engine (prefixes, reading, checking) on a
/// check text and an input held in memory, capturing what it writes on
/// standard error, the way the driver would call it.

#include "engine/CheckEngine.h"
#include "engine/MatchDiag.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/FileBuffer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

struct CheckRun {
  CheckOptions options;
  SourceRegistry registry;
  std::unique_ptr<CheckEngine> engine;
  std::string checkStore;
  std::string inputStore;
  TextRef input;
  std::vector<MatchDiag> records;
  /// What verifyInput wrote on standard error.
  std::string errors;
  bool passed = false;

  /// Reads `check` (named check.txt) and verifies `input` (input.txt);
  /// records go to `records` when `withRecords`.
  CheckRun &run(TextRef check, TextRef inputText, bool withRecords = false) {
    engine = std::make_unique<CheckEngine>(options);
    EXPECT_TRUE(engine->verifyPrefixes());
    CompiledRegex prefixMatcher = engine->buildPrefixMatcher();
    TextRef checkText = engine->prepareText(check, checkStore);
    registry.addBuffer(viewText(checkText, "check.txt"));
    testing::internal::CaptureStderr();
    bool readFailed = engine->parseCheckText(registry, checkText, prefixMatcher);
    std::string readErrors = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(readFailed) << readErrors;
    input = engine->prepareText(inputText, inputStore);
    registry.addBuffer(viewText(input, "input.txt"));
    testing::internal::CaptureStderr();
    passed = engine->verifyInput(registry, input, withRecords ? &records : nullptr);
    errors = testing::internal::GetCapturedStderr();
    return *this;
  }
};

#endif
