#ifndef OSTREL_LINT_NEARDIRECTIVES_H
#define OSTREL_LINT_NEARDIRECTIVES_H

/// Finds the words that look like directives but are not: misspelled
/// prefixes and suffixes, suffixes in another letter case, a colon that is
/// missing, misplaced or another character, a broken modifier list, and
/// -COUNT without a usable count. Only word shapes a directive could have are
/// considered, so prose is left alone.

#include "engine/DirectiveScanner.h"
#include "lint/LintCheck.h"
#include "support/fs/TextRef.h"

#include <string>
#include <vector>

namespace ostrel {

class NearDirectiveFinder {
public:
  /// Words are compared with the directives that `checkPrefixes` make.
  explicit NearDirectiveFinder(const std::vector<TextRef> &checkPrefixes);

  /// Appends a finding for each near-directive on `line`, a line of the
  /// check text on which the scanner found no directive.
  void scanLine(TextRef line, std::vector<Finding> &findings) const;

  /// The finding for a directive that the reader rejects and that one of
  /// these checks covers (Misspelled and BadCount), if any.
  void rejectedDirective(const FoundDirective &directive, std::vector<Finding> &findings) const;

private:
  struct Spelling {
    std::string text; // e.g. CHECK or CHECK-NEXT
    size_t prefixLength;
  };

  void checkWord(TextRef line, size_t start, size_t end, std::vector<Finding> &findings) const;
  /// The directive spelling one edit or one swap away from `word` (or from
  /// `hyphenated`, the word with its underscores made hyphens), if any.
  const Spelling *nearest(TextRef word, TextRef hyphenated) const;

  std::vector<TextRef> prefixes;
  std::vector<Spelling> spellings;
  size_t shortest = ~size_t(0);
  size_t longest = 0;
};

} // namespace ostrel

#endif
