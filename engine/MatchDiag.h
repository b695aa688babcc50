#ifndef OSTREL_ENGINE_MATCHDIAG_H
#define OSTREL_ENGINE_MATCHDIAG_H

/// One record of what a search found (or failed to find) in the input, kept
/// for the annotated input dump. The checker appends them in the order the
/// events happen; the dump turns each into labelled markers under the input.

#include "engine/CheckKind.h"
#include "support/diag/SourceRegistry.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ostrel {

/// What happened to one search, and so how the dump marks its input range.
enum class MatchOutcome : uint8_t {
  ExpectedFound,    ///< a positive pattern matched; range = the match
  ExcludedFound,    ///< a NOT pattern matched (error); range = the match
  FoundOnWrongLine, ///< NEXT/SAME/EMPTY matched on the wrong line (error)
  DiscardedOverlap, ///< a DAG match overlapped an earlier one and was dropped
  ErrorAfterMatch,  ///< a captured number could not be read; range = its text
  ExcludedNotFound, ///< a NOT pattern did not match; range = searched text
  ExpectedNotFound, ///< a positive pattern did not match (error)
  InvalidPattern,   ///< a substitution failed, nothing was searched (error)
  FuzzyMatch,       ///< where an unmatched pattern most resembles the input
};

struct MatchDiag {
  CheckKind kind;
  /// The directive (or implicit pattern) that the record is about.
  SourceLocation checkLocation = nullptr;
  MatchOutcome outcome = MatchOutcome::ExpectedFound;
  /// 1-based; the end is the position after the last character, so an empty
  /// range has start == end.
  uint32_t inputStartLine = 0;
  uint32_t inputStartColumn = 0;
  uint32_t inputEndLine = 0;
  uint32_t inputEndColumn = 0;
  /// Empty for the main record of a search; else a note about variables or
  /// errors that belongs to the search before it.
  std::string note;

  MatchDiag() = default;
  /// Makes a record; the registry turns `inputRange` into lines and columns.
  MatchDiag(SourceRegistry &registry, CheckKind kind, SourceLocation checkLocation,
            MatchOutcome outcome, SourceRange inputRange, std::string note);
};

using MatchDiagList = std::vector<MatchDiag>;

} // namespace ostrel

#endif
