#ifndef OSTREL_ENGINE_CHECKPATTERN_H
#define OSTREL_ENGINE_CHECKPATTERN_H

/// One directive's pattern, parsed: either a fixed text searched for as is, or
/// an extended regular expression with the places where variable values are
/// inserted at match time and the capture groups that define variables.
/// Patterns are copied by value; copies share the variable context and the
/// substitutions, which the context owns.
/// Tested by CheckPattern_test.cpp and CheckPatternMatch_test.cpp.

#include "engine/CheckKind.h"
#include "engine/CheckOptions.h"
#include "engine/PatternPieces.h"
#include "engine/SearchResult.h"
#include "support/diag/ErrorValue.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/TextRef.h"

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ostrel {

class DiagnosticSink;
class VariableContext;
class Substitution;
struct NumericVariable;
struct MatchDiag;
struct PatternRegexCache;
struct SubstitutionBlock;

/// Variables defined by a pattern, each name once, with the capture group of
/// each: string ones sorted by name, numeric ones in the order in which a
/// hash map keyed by name would list them, which is the order their values
/// are taken in (the first that cannot be taken is the one reported).
using StringDefinitions = std::vector<std::pair<TextRef, unsigned>>;
using NumericDefinitions = std::vector<std::pair<TextRef, std::pair<NumericVariable *, unsigned>>>;

/// The parts of a parsed pattern that only patterns with blocks or a
/// full-line rule have. A large check file holds many thousands of patterns,
/// most of them without any: kept apart, they cost those nothing.
struct PatternDetails {
  /// Unless the pattern is a fixed text, the assembled extended regular
  /// expression.
  std::string regexText;
  /// A full-line pattern without blocks: the text that must fill a line, with
  /// blanks around it unless whitespace is strict. It is searched as fixed
  /// text; regexText holds the same pattern as an expression for messages
  /// and the possible-intended-match search.
  TextRef fullLineText;
  bool fullLineBlanks = false;
  /// Number of the next capture group of regexText (while parsing).
  unsigned curGroup = 1;
  /// Values inserted into regexText at match time, in order of insertion.
  std::vector<Substitution *> substitutions;
  StringDefinitions stringDefs;
  NumericDefinitions numericDefs;
  /// The regular expressions as written in the check text, in order: the
  /// insides of "{{...}}" and the expressions of string definitions. Kept for
  /// programs that inspect check files.
  std::vector<TextRef> writtenRegexes;
  /// Uses of a string variable defined earlier in this same pattern, which
  /// became back-references instead of substitutions.
  std::vector<TextRef> backReferences;
  /// regexText as fixed texts, values and expression pieces, for searching
  /// it piece by piece.
  PatternPieces pieces;
};

class CheckPattern {
public:
  /// A pattern of `kind` whose variables live in `context`; `lineNumber` is
  /// the check-file line of its directive (none for command-line patterns).
  CheckPattern(CheckKind kind, VariableContext &context,
               std::optional<unsigned> lineNumber = std::nullopt);

  /// Parses `text` (the pattern as cut by the reader) into this pattern.
  /// `prefix` names the directive in messages ("IMPLICIT-CHECK" for
  /// command-line patterns). When the text is rejected the error goes to
  /// `sink` and the answer is an AlreadyReportedError (an
  /// UnbalancedBracketError for a stray "]" inside a substitution block).
  ErrorValue parse(TextRef text, TextRef prefix, SourceRegistry &registry,
                   const CheckOptions &options, DiagnosticSink &sink);

  /// True when the pattern uses or defines a string variable, or uses any
  /// variable or expression through a substitution.
  bool hasVariables() const { return !substitutions().empty() || !stringDefs().empty(); }

  // ---- Matching (implemented with the matcher) ----

  /// Searches `range` of the prepared input for this pattern and stores the
  /// captured variable values on success.
  SearchResult match(TextRef range, SourceRegistry &registry) const;
  /// The result of a fixed-text pattern whose text first occurs at `pos` of
  /// the searched range (npos: nowhere), as match would give it.
  SearchResult fixedTextResult(size_t pos) const;
  /// Edit distance between the start of `text` and this pattern's text.
  unsigned resemblanceDistance(TextRef text) const;
  /// Reports the place in `range` that most resembles this pattern, if any.
  void reportFuzzyMatch(SourceRegistry &registry, DiagnosticSink &sink, TextRef range,
                        std::vector<MatchDiag> *diagList) const;

  // ---- Parsed form ----

  /// First character of the pattern text; null for the end-of-input pattern.
  SourceLocation location{};
  /// When not empty, the pattern is this text, searched for as is.
  TextRef fixedText;
  /// regexText has no regular-expression piece of its own: escaped text and
  /// the places of substituted (escaped) values only, so that once the values
  /// are in it is searched as the text it stands for. The expression would
  /// differ at every search when a value changes, and compile each time.
  bool regexIsText = false;
  bool ignoreCase = false;
  CheckKind kind;
  std::optional<unsigned> lineNumber;
  /// Shared by every pattern of one engine; not owned.
  VariableContext *context;
  /// The compiled expression of the last search, shared by copies (matcher).
  mutable std::shared_ptr<PatternRegexCache> regexCache;

  /// The parts only some patterns have (empty ones for the others).
  const PatternDetails &details() const;
  /// The same parts to change, made first when there are none and copied
  /// first when other patterns share them.
  PatternDetails &editDetails();
  const std::string &regexText() const { return details().regexText; }
  TextRef fullLineText() const { return details().fullLineText; }
  const std::vector<Substitution *> &substitutions() const { return details().substitutions; }
  const StringDefinitions &stringDefs() const { return details().stringDefs; }
  const NumericDefinitions &numericDefs() const { return details().numericDefs; }
  const std::vector<TextRef> &writtenRegexes() const { return details().writtenRegexes; }
  const std::vector<TextRef> &backReferences() const { return details().backReferences; }

private:
  /// Parses the "[[...]]" block at the start of `rest` and moves `rest` past it.
  ErrorValue parseSubstitutionBlock(TextRef &rest, SourceRegistry &registry, DiagnosticSink &sink);
  /// Adds what a read block does to the expression, its capture groups and
  /// its substitutions.
  ErrorValue appendBlock(SubstitutionBlock &block, SourceRegistry &registry, DiagnosticSink &sink);
  /// Checks `expression` and appends it with its back-references renumbered;
  /// an invalid one is reported at `errorAt`.
  ErrorValue appendRegex(TextRef expression, SourceLocation errorAt, SourceRegistry &registry,
                         DiagnosticSink &sink);

  /// Shared by copies; null for a pattern that has none of them, which
  /// is most patterns of a large check file.
  std::shared_ptr<PatternDetails> extra;
};

} // namespace ostrel

#endif
