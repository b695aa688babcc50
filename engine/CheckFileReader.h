#ifndef OSTREL_ENGINE_CHECKFILEREADER_H
#define OSTREL_ENGINE_CHECKFILEREADER_H

/// Reads a prepared check text into check steps, one step at a time: it
/// parses the patterns of the directives the scanner finds, in file order,
/// and gathers the NOT and DAG patterns until the positive directive that
/// closes their step. A whole check file read at once becomes the engine's
/// step list; a large one is read again step by step as the checking goes.
/// Tested by CheckFileReader_test.cpp.

#include "engine/CheckOptions.h"
#include "engine/CheckStep.h"
#include "engine/DirectiveScanner.h"
#include "engine/ExpressionPool.h"
#include "support/diag/ErrorValue.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/TextRef.h"
#include "support/regex/CompiledRegex.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace ostrel {

class DiagnosticSink;
class VariableContext;

class CheckFileReader {
public:
  /// Parses into `context`, registers buffers in `registry` and reports to
  /// `sink`; all of them, and `options`, outlive the reader.
  CheckFileReader(const CheckOptions &options, VariableContext &context, SourceRegistry &registry,
                  DiagnosticSink &sink);
  ~CheckFileReader();

  /// Registers and parses the patterns of the implicit-check-not option.
  /// `implicitBufferRange`, when given, receives the half-open range of the
  /// ids of the buffers registered for them.
  ErrorValue readImplicitPatterns(std::pair<unsigned, unsigned> *implicitBufferRange);
  /// The implicit patterns read, held once for every step; null when none.
  std::shared_ptr<const std::vector<CheckPattern>> implicitList() const {
    return implicitPatterns;
  }
  /// Gives every step `patterns`, read by another reader of the same
  /// context, instead of reading them again.
  void useImplicitPatterns(std::shared_ptr<const std::vector<CheckPattern>> patterns) {
    implicitPatterns = std::move(patterns);
  }

  /// Starts on `checkText` (prepared) with the engine's prefix expression;
  /// both outlive the reader.
  void start(TextRef checkText, const CompiledRegex &prefixMatcher);
  /// Reads the directives up to the one that completes the next step and
  /// stores that step in `step`; past the last step, stores nothing. An
  /// error (a malformed directive or pattern, or unused prefixes at the end)
  /// has been reported when it is answered.
  ErrorValue readStep(std::optional<CheckStep> &step);
  /// Reads every remaining step into `steps`.
  ErrorValue readAll(std::vector<CheckStep> &steps);
  /// Reads the remaining directives only to find a fault, which is reported
  /// as readStep would report it; keeps no step and leaves no substitution
  /// in the context.
  ErrorValue readThrough();
  /// Where the directives not yet read begin.
  const char *position() const { return scanner->remaining().data(); }
  /// How many compiled expressions the patterns read share (whole ones and
  /// pieces), including those no step holds any more but not yet dropped.
  size_t sharedExpressions() const { return sharedRegexes.size() + sharedPieces.size(); }

private:
  ErrorValue handleDirective(const FoundDirective &found, std::optional<CheckStep> &step);
  /// Marks the directive's prefix as used and rejects a malformed directive;
  /// both readings of the text start each directive here.
  ErrorValue admitDirective(const FoundDirective &found);
  /// Reports the kinds that are always an error.
  ErrorValue rejectMalformed(const FoundDirective &found) const;
  /// Reports a LABEL with variables, and a line rule with no line before it.
  ErrorValue checkPlacement(const FoundDirective &found, const CheckPattern &pattern) const;
  /// Reports the check prefixes that introduced no directive, unless allowed.
  ErrorValue checkPrefixesUsed() const;

  const CheckOptions &options;
  VariableContext &context;
  SourceRegistry &registry;
  DiagnosticSink &sink;

  std::optional<DirectiveScanner> scanner;
  /// Steps handed out and directives read so far.
  size_t stepsRead = 0;
  size_t directivesRead = 0;
  bool largeText = false;
  bool finished = false;
  /// Held once for all steps: thousands of patterns given on the command
  /// line must not be copied into thousands of steps. Null when none.
  std::shared_ptr<const std::vector<CheckPattern>> implicitPatterns;
  /// NOT and DAG patterns waiting for the next positive directive.
  std::vector<CheckPattern> pending;
  std::set<TextRef> unusedPrefixes;
  size_t distinctPrefixes = 0;
  /// The whole expressions of patterns without substitutions, and the
  /// pieces of patterns searched piece by piece.
  ExpressionPool sharedRegexes;
  ExpressionPool sharedPieces;
};

} // namespace ostrel

#endif
