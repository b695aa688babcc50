#ifndef OSTREL_ENGINE_DIRECTIVESCANNER_H
#define OSTREL_ENGINE_DIRECTIVESCANNER_H

/// Finds the directives of a prepared check text one after another and
/// classifies each, exactly as the check-file reader does: the reader builds
/// its steps from what this scanner finds, and tools that inspect check files
/// see the same directives the checker would.
/// Tested by DirectiveScanner_test.cpp.

#include "engine/CheckKind.h"
#include "engine/CheckOptions.h"
#include "support/fs/TextRef.h"
#include "support/regex/CompiledRegex.h"

#include <span>
#include <vector>

namespace ostrel {

/// One directive as found in the check text.
struct FoundDirective {
  CheckKind kind;
  /// The prefix as written (into the check text).
  TextRef prefix;
  /// From the prefix through the colon. For Misspelled, BadNot and BadCount
  /// it ends where the reader's message points: after the colon, at the
  /// suffix after the hyphen, and after the count.
  TextRef directive;
  /// The rest of the directive's line, without the blanks after the
  /// directive (kept when whitespace is strict and lines are matched whole).
  TextRef patternText;
  /// The check-file line of the prefix.
  unsigned lineNumber = 1;
};

/// A word that may follow a check prefix and a hyphen, and the directive it
/// makes.
struct DirectiveSuffix {
  TextRef word;
  DirectiveType type;
};

/// NEXT, SAME, NOT, DAG, LABEL and EMPTY, in the order the reader tries them.
std::span<const DirectiveSuffix> directiveSuffixes();

/// The characters a directive is made of and that no prefix may follow:
/// ASCII letters, digits, "-" and "_".
bool isDirectiveWordChar(char c);

class DirectiveScanner {
public:
  /// Scans `checkText` (prepared, as given to the reader) with the prefix
  /// expression of an engine whose completed options are `options`; both
  /// must outlive the scanner. Prefixes made of word characters alone (all
  /// that an engine accepts) are found as fixed texts, without the
  /// expression.
  DirectiveScanner(TextRef checkText, const CompiledRegex &prefixMatcher,
                   const CheckOptions &options);

  /// The next directive, or false when no further prefix occurrence is one.
  bool next(FoundDirective &found);

  /// Where the last search for a prefix began: after the last directive's
  /// line once next() has answered false.
  TextRef remaining() const { return rest; }
  /// The line of the last prefix occurrence met, directive or not.
  unsigned lineNumber() const { return line; }

private:
  /// The leftmost prefix occurrence in `rest`, the longest there.
  bool findPrefix(size_t &offset, size_t &length);

  const CompiledRegex &matcher;
  /// The distinct prefixes when all are fixed texts (else empty), and for
  /// each the offset in the text of its next occurrence found so far: npos
  /// when there is none up to the end, smaller than the search position when
  /// it must be looked for again.
  std::vector<TextRef> fixedPrefixes;
  std::vector<size_t> nextOccurrence;
  const char *textStart;

  const CheckOptions &opts;
  TextRef rest;
  size_t longestPrefix = 0;
  unsigned line = 1;
  const char *countedTo;
  std::vector<TextRef> groups;
};

} // namespace ostrel

#endif
