#ifndef OSTREL_ENGINE_CHECKENGINE_H
#define OSTREL_ENGINE_CHECKENGINE_H

/// The check engine: validates the prefixes, reads a check file into check
/// steps and verifies an input against them. A run calls, in order (see
/// CheckRun): construction, verifyPrefixes, buildPrefixMatcher, prepareText
/// and parseCheckText for the check file, prepareText and verifyInput for
/// the input. The work is done by TextPreparation, CheckFileReader and
/// CheckSequencer. Every message goes to the DiagnosticSink given at
/// construction; every fallible operation answers success or an error that
/// says the failure has been reported there. Tested by CheckEngine_test.cpp.

#include "engine/CheckOptions.h"
#include "engine/CheckStep.h"
#include "engine/DiagnosticSink.h"
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

class VariableContext;
struct MatchDiag;

class CheckEngine {
public:
  /// Keeps a copy of `options`, an empty variable context and no steps.
  /// Reports go to `sink`, which outlives the engine.
  CheckEngine(const CheckOptions &options, DiagnosticSink &sink);
  ~CheckEngine();
  CheckEngine(const CheckEngine &) = delete;
  CheckEngine &operator=(const CheckEngine &) = delete;

  /// Success when every check and comment prefix is acceptable; otherwise an
  /// AlreadyReportedError, the first bad prefix having been reported.
  ErrorValue verifyPrefixes();

  /// Completes the prefix lists with their defaults and compiles the
  /// expression that finds any of them (check prefixes first).
  CompiledRegex buildPrefixMatcher();

  /// Copies `source` into `buffer` with CR LF turned into LF and, unless
  /// whitespace is strict, every run of blanks and tabs folded into one blank.
  /// The buffer ends with a NUL that the returned text does not include.
  TextRef prepareText(TextRef source, std::string &buffer) const;
  /// Prepares the bytes of `buffer` in place, so the program holds one copy
  /// of a large input instead of two, and shortens the buffer to the result.
  TextRef prepareText(OwnedFileBuffer &buffer) const;

  /// What parseCheckText keeps of the check text.
  enum class StepStorage {
    /// Every step, for steps() and verifyInput.
    Kept,
    /// No step: parseCheckText reads the text through only to find its
    /// faults, and verifyInput reads it again step by step as the checking
    /// reaches it, holding the steps between two labels at a time, so that
    /// a large check file takes the memory of one stretch, not of every
    /// directive. The check text and the prefix expression must outlive the
    /// engine's run.
    Streamed,
  };

  /// From this size on, the steps of a check text take many times its size
  /// in fresh memory.
  static constexpr size_t largeCheckText = size_t(1) << 20;
  /// The storage for a program that only checks `checkText`: streamed when
  /// it is large.
  static StepStorage storageFor(TextRef checkText) {
    return checkText.size() >= largeCheckText ? StepStorage::Streamed : StepStorage::Kept;
  }

  /// Reads the prepared check text into steps. On failure answers an
  /// AlreadyReportedError, or its kind UnbalancedBracketError for a
  /// substitution block with a stray "]". `implicitBufferRange`, when given,
  /// receives the half-open range of the ids of the "command line" buffers
  /// registered for the implicit NOT patterns.
  ErrorValue parseCheckText(SourceRegistry &registry, TextRef checkText,
                            const CompiledRegex &prefixMatcher,
                            std::pair<unsigned, unsigned> *implicitBufferRange = nullptr,
                            StepStorage storage = StepStorage::Kept);

  /// Whether the caller of verifyInput reads the match records after a run
  /// that passed, or only after one that failed.
  enum class RecordUse { AnyRun, FailedRunOnly };

  /// Verifies the prepared `input` against the steps. Answers success when
  /// every step was satisfied, an AlreadyReportedError otherwise. `diagList`,
  /// when given, receives the match records for the input dump; with
  /// RecordUse::FailedRunOnly the records of a passing run may be incomplete,
  /// which spares a large -vv run records that nobody reads. Runs once.
  ErrorValue verifyInput(SourceRegistry &registry, TextRef input,
                         std::vector<MatchDiag> *diagList = nullptr,
                         RecordUse recordUse = RecordUse::AnyRun);

  const CheckOptions &options() const { return opts; }
  VariableContext &context() { return *vars; }
  /// The steps read; empty when they were streamed.
  const std::vector<CheckStep> &steps() const { return checkSteps; }

private:
  /// A check text read step by step by verifyInput.
  struct StreamedText {
    TextRef checkText;
    const CompiledRegex *prefixMatcher = nullptr;
    std::shared_ptr<const std::vector<CheckPattern>> implicitPatterns;
    /// Where the last label directive may begin; null when there is none.
    const char *lastLabelAt = nullptr;
  };

  CheckOptions opts;
  DiagnosticSink &sink;
  std::unique_ptr<VariableContext> vars;
  std::vector<CheckStep> checkSteps;
  std::optional<StreamedText> streamed;
};

} // namespace ostrel

#endif
