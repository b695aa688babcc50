#ifndef OSTREL_ENGINE_CHECKENGINE_H
#define OSTREL_ENGINE_CHECKENGINE_H

/// The check engine: validates the prefixes, reads a check file into check
/// steps and verifies an input against them. The driver calls, in order:
/// construction, verifyPrefixes, buildPrefixMatcher, prepareText and
/// parseCheckText for the check file, prepareText and verifyInput for the
/// input.

#include "engine/CheckOptions.h"
#include "engine/CheckStep.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/FileBuffer.h"
#include "support/fs/TextRef.h"
#include "support/regex/CompiledRegex.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class VariableContext;
struct MatchDiag;

class CheckEngine {
public:
  /// Keeps a copy of `options`, an empty variable context and no steps.
  explicit CheckEngine(const CheckOptions &options);
  ~CheckEngine();
  CheckEngine(const CheckEngine &) = delete;
  CheckEngine &operator=(const CheckEngine &) = delete;

  /// True when every check and comment prefix is acceptable; otherwise the
  /// first bad one has been reported on standard error.
  bool verifyPrefixes();

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

  /// Reads the prepared check text into steps. Answers true when reading
  /// failed; the error has been reported. `implicitBufferRange`, when given,
  /// receives the half-open range of the ids of the "command line" buffers
  /// registered for the implicit NOT patterns.
  bool parseCheckText(SourceRegistry &registry, TextRef checkText,
                      const CompiledRegex &prefixMatcher,
                      std::pair<unsigned, unsigned> *implicitBufferRange = nullptr);

  /// Verifies the prepared `input` against the steps. Answers true when every
  /// step was satisfied. `diagList`, when given, receives the match records
  /// for the input dump.
  bool verifyInput(SourceRegistry &registry, TextRef input,
                   std::vector<MatchDiag> *diagList = nullptr);

  const CheckOptions &options() const { return opts; }
  VariableContext &context() { return *vars; }
  const std::vector<CheckStep> &steps() const { return checkSteps; }

private:
  // ---- Check sequencing (implemented with the matcher) ----
  // Declarations of the sequencing helpers go here.

  CheckOptions opts;
  std::unique_ptr<VariableContext> vars;
  std::vector<CheckStep> checkSteps;
};

#endif
