#ifndef OSTREL_ENGINE_PATTERNPIECES_H
#define OSTREL_ENGINE_PATTERNPIECES_H

/// A pattern's expression seen as what most expressions of a check file are:
/// fixed texts, values inserted at match time, and expression pieces (each
/// the one group of a "{{...}}" block or of a variable definition) in a row.
/// Such a pattern is searched by finding its fixed texts as text and running
/// only its pieces, on the spans between them; a piece is compiled once for
/// every pattern that has the same one. What the pieces cannot decide
/// exactly is left to the pattern's whole expression, which then gives the
/// same answer as always. Tested by PatternPieces_test.cpp.

#include "support/fs/TextRef.h"

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace ostrel {

class ExpressionPool;
struct PatternRegexCache;

class PatternPieces {
public:
  /// What a search of the pieces found.
  enum class Outcome {
    Found,
    NotFound,
    /// Only the whole expression can tell (see search).
    Undecided,
  };

  /// Appends fixed text, as written (not escaped).
  void addText(TextRef text);
  /// Appends the value of the pattern's substitution number `substitution`.
  void addValue(size_t substitution);
  /// Appends a piece: the expression at [begin, end) of the pattern's
  /// expression text, which is the whole of capture group `group`.
  void addPiece(size_t begin, size_t end, unsigned group);
  /// The expression holds something else as well: the pieces are not used.
  void discard() { discarded = true; }

  /// True when the expression is such a row with at least one piece.
  bool usable() const { return !discarded && pieceCount != 0; }
  /// Gives each piece that is not empty the compiled form that `pool` holds
  /// for its text (in `regexText`), which other patterns with the same piece
  /// share.
  void share(const std::string &regexText, ExpressionPool &pool);

  /// Searches `range` for the leftmost-longest match of the expression
  /// `regexText` (with `flags` of CompiledRegex) whose pieces these are, the
  /// values of the substitutions being `values` (escaped, in order). On
  /// Found, `whole` is the match and, when `groups` is given, it holds the
  /// span of each piece at the index of its group (empty TextRefs with no
  /// data elsewhere). Undecided when a piece does not suit this way of
  /// searching (it could match a line feed, has back-references, or is too
  /// large), when the match found must be split among the groups and the
  /// pieces admit more than one way, or when the search took much more work
  /// than the text it covered.
  Outcome search(TextRef range, const std::string &regexText, std::span<const std::string> values,
                 unsigned flags, TextRef &whole, std::vector<TextRef> *groups) const;

private:
  struct Part {
    enum Kind { Text, Value, Piece } kind;
    /// Text: the text. Value: the substitution number. Piece: the piece
    /// number, its place in the expression text and its capture group.
    TextRef text;
    size_t index = 0;
    size_t begin = 0;
    size_t end = 0;
    unsigned group = 0;
    /// Piece: the compiled expression, shared with other patterns that have
    /// the same piece; null for an empty one.
    std::shared_ptr<PatternRegexCache> compiled;
  };
  enum class Fit { Unknown, Yes, No };

  void add(Part part);
  /// Compiles the pieces not compiled yet and decides whether they fit.
  bool fits(const std::string &regexText, unsigned flags) const;
  /// The leftmost-longest match that starts at `start` and ends by `stop`,
  /// or Undecided; with `spans`, the place of every piece is kept.
  Outcome matchFrom(TextRef range, size_t start, size_t stop, bool ignoreCase, bool spans,
                    size_t &matchEnd, size_t &spent, size_t budget) const;

  /// Changed only while the pattern is parsed and its pieces are shared; the
  /// compiled pieces are made at the first search when nothing shared them.
  mutable std::vector<Part> parts;
  size_t pieceCount = 0;
  unsigned lastGroup = 0;
  bool hasValues = false;
  bool discarded = false;
  mutable Fit fit = Fit::Unknown;
  /// The instruction words of the whole expression without its values, as
  /// far as the pieces tell.
  mutable size_t wholeSize = 0;
};

} // namespace ostrel

#endif
