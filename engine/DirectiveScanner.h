#ifndef OSTREL_ENGINE_DIRECTIVESCANNER_H
#define OSTREL_ENGINE_DIRECTIVESCANNER_H

/// Finds the directives of a check text the way the check-file reader does:
/// a check or comment prefix that does not follow a word character, then a
/// suffix, optional modifiers and a colon. Programs that rewrite or inspect
/// check files use it to see exactly the directives the checker will see.

#include "engine/CheckKind.h"
#include "support/fs/TextRef.h"
#include "support/regex/CompiledRegex.h"

#include <cstddef>
#include <vector>

/// One directive occurrence.
struct FoundDirective {
  /// Offset of the prefix from the start of the scanned text.
  size_t offset = 0;
  /// The prefix as written (a view into the scanned text).
  TextRef prefix;
  CheckKind kind;
  /// Offset, from the prefix, of the text after the directive's colon (for
  /// the malformed kinds: of the place their message points at).
  size_t tail = 0;
};

class DirectiveScanner {
public:
  /// `prefixMatcher` is the engine's compiled prefix expression and
  /// `commentPrefixes` the completed comment-prefix list; both must outlive
  /// the scanner.
  DirectiveScanner(const CompiledRegex &prefixMatcher, const std::vector<TextRef> &checkPrefixes,
                   const std::vector<TextRef> &commentPrefixes);

  /// Finds the first directive in `text`; an occurrence at offset 0 counts
  /// whatever precedes the text. False when there is none.
  bool next(TextRef text, FoundDirective &found);

private:
  const CompiledRegex &matcher;
  const std::vector<TextRef> &commentPrefixes;
  size_t longestPrefix = 0;
  std::vector<TextRef> groups;
};

/// True for the bytes that may not precede a prefix occurrence: ASCII letters,
/// digits, "-" and "_".
bool isDirectiveWordChar(char c);

/// The pattern text of a directive whose tail starts `text`, as the reader cuts
/// it: blanks after the colon dropped (unless `keepLeadingBlanks`), then up to
/// the first line feed or carriage return.
TextRef directivePatternText(TextRef text, bool keepLeadingBlanks);

#endif
