#ifndef OSTREL_SUPPORT_DIAG_DIAGNOSTICKIND_H
#define OSTREL_SUPPORT_DIAG_DIAGNOSTICKIND_H

/// What each report of the check engine is about, so that a program decides
/// by kind rather than by the words of a message. A located error, its notes
/// and the line feed after it share one kind. Lives beside DiagnosticError,
/// which carries it from the parsers that make the error to the sink.

#include <cstdint>

namespace ostrel {

enum class DiagnosticKind : uint8_t {
  // The command line.
  InvalidPrefix,      ///< a check or comment prefix: empty, malformed or repeated
  InvalidDefinition,  ///< a -D definition that cannot be applied
  // The directives of the check file.
  NoCheckStrings,     ///< a check prefix that starts no directive
  MisspelledDirective, ///< a directive whose suffix is misspelled
  UnsupportedNotCombo, ///< NOT combined with another suffix
  InvalidCount,       ///< a -COUNT without a valid count
  EmptyPattern,       ///< a pattern empty where it may not be, or not where it must be
  LabelWithVariables, ///< a LABEL that defines or uses a variable
  LineRuleFirst,      ///< NEXT, SAME or EMPTY before any other directive
  // The patterns.
  InvalidPattern,     ///< a regular expression, variable block or name the parser rejects
  InvalidNumericBlock, ///< a numeric block, variable or format the parser rejects
  SameDirectiveNumericUse, ///< a numeric variable used in the directive that defines it
  // Checking the input.
  ExpectedNotFound,   ///< a positive pattern without match
  ExcludedFound,      ///< a NOT pattern that matched
  WrongLine,          ///< a NEXT, SAME or EMPTY match on the wrong line
  SubstitutionFailed, ///< a value that could not be put into a pattern
  UnreadableCapture,  ///< a captured number that could not be read
  Match,              ///< -v and -vv: a match, an absent NOT pattern, a discarded overlap
  PossibleMatch,      ///< where an unmatched pattern most resembles the input
};

} // namespace ostrel

#endif
