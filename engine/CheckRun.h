#ifndef OSTREL_ENGINE_CHECKRUN_H
#define OSTREL_ENGINE_CHECKRUN_H

/// One run of the check engine, the sequence every program goes through:
/// the prefix check, the preparation of both texts, the reading of the check
/// text and the verifying of the input, with the buffers they point into
/// kept for as long as the run. A program that reads its files itself takes
/// the steps one by one; one that holds both texts in memory calls
/// runTexts. Tested by CheckRun_test.cpp.

#include "engine/CheckEngine.h"
#include "engine/CheckOptions.h"
#include "engine/DiagnosticSink.h"
#include "engine/MatchDiag.h"
#include "support/diag/ErrorValue.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/FileBuffer.h"
#include "support/fs/TextRef.h"
#include "support/regex/CompiledRegex.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ostrel {

/// How a text reaches the run.
enum class TextForm {
  /// As written: prepared into a copy that the run keeps.
  Raw,
  /// As written and followed by a NUL: used as it is when preparing would
  /// not change it.
  RawWithNul,
  /// Prepared already under the same options, and followed by a NUL.
  Prepared,
};

/// A check text and an input held in memory, with the names messages give
/// them.
struct CheckTexts {
  TextRef checkText;
  TextRef checkName = "check.txt";
  TextForm checkForm = TextForm::Raw;
  TextRef input;
  TextRef inputName = "input.txt";
  TextForm inputForm = TextForm::Raw;
};

/// How a run ended.
enum class RunStatus {
  /// Every step was satisfied.
  Passed,
  /// The input failed a step.
  Failed,
  /// A prefix or the check text was rejected; no input was checked.
  Rejected,
};

class CheckRun {
public:
  /// Reports go to `sink`, which outlives the run.
  CheckRun(const CheckOptions &options, DiagnosticSink &sink);
  ~CheckRun();
  CheckRun(const CheckRun &) = delete;
  CheckRun &operator=(const CheckRun &) = delete;

  /// Checks, reads and verifies `texts`, which outlive the run; the match
  /// records go to `records` when given.
  RunStatus runTexts(const CheckTexts &texts, std::vector<MatchDiag> *records = nullptr);

  /// Success when every prefix is acceptable; otherwise an
  /// AlreadyReportedError, the first bad prefix having been reported.
  ErrorValue checkPrefixes() { return checkEngine->verifyPrefixes(); }
  /// The expression that finds any prefix, the defaults completed; made on
  /// first use.
  const CompiledRegex &prefixMatcher();

  /// Prepares `source` into `store` (see CheckEngine::prepareText).
  TextRef prepare(TextRef source, std::string &store) const {
    return checkEngine->prepareText(source, store);
  }
  /// Prepares `buffer` in place.
  TextRef prepare(OwnedFileBuffer &buffer) const { return checkEngine->prepareText(buffer); }

  /// Prepares the check file in place, registers it and reads it, streamed
  /// when it is large. On failure answers what CheckEngine::parseCheckText
  /// answers.
  ErrorValue readCheckFile(std::unique_ptr<OwnedFileBuffer> buffer);
  /// Registers the prepared `checkText` under `name` and reads it with
  /// `storage`; the text outlives the run.
  ErrorValue readCheckText(TextRef checkText, TextRef name,
                           CheckEngine::StepStorage storage = CheckEngine::StepStorage::Kept);

  /// Prepares the input file in place, registers it and verifies it. The
  /// match records go to `records` when given.
  ErrorValue verifyFile(std::unique_ptr<OwnedFileBuffer> buffer,
                        std::vector<MatchDiag> *records = nullptr,
                        CheckEngine::RecordUse recordUse = CheckEngine::RecordUse::AnyRun);
  /// Registers the prepared `input` under `name` and verifies it; the text
  /// outlives the run.
  ErrorValue verifyText(TextRef input, TextRef name, std::vector<MatchDiag> *records = nullptr,
                        CheckEngine::RecordUse recordUse = CheckEngine::RecordUse::AnyRun);

  CheckEngine &engine() { return *checkEngine; }
  const CheckOptions &options() const { return checkEngine->options(); }
  SourceRegistry &registry() { return sourceRegistry; }
  /// The buffer of the check text read, the range of the buffers of the
  /// implicit patterns, and the input verified.
  unsigned checkBufferId() const { return checkBuffer; }
  std::pair<unsigned, unsigned> implicitBufferRange() const { return implicitBuffers; }
  TextRef input() const { return inputText; }

  /// Leaves the engine for the end of the process to free, once the run is
  /// destroyed: freeing the patterns of a large check file one by one, and
  /// the allocator merging the freed blocks afterwards, take a quarter of
  /// such a run. For a program that exits right after its run.
  void keepEngineUntilExit() { engineKeptUntilExit = true; }

private:
  /// The text `form` says to check: `text` itself or a prepared copy in
  /// `store`.
  TextRef preparedForm(TextRef text, TextForm form, std::string &store) const;

  /// The texts and the prefix expression go after the engine, whose
  /// patterns and captured values point into them.
  SourceRegistry sourceRegistry;
  std::string checkStore;
  std::string inputStore;
  std::optional<CompiledRegex> matcher;
  std::unique_ptr<CheckEngine> checkEngine;
  unsigned checkBuffer = 0;
  std::pair<unsigned, unsigned> implicitBuffers{0, 0};
  TextRef inputText;
  bool engineKeptUntilExit = false;
};

} // namespace ostrel

#endif
