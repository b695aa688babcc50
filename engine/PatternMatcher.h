#ifndef OSTREL_ENGINE_PATTERNMATCHER_H
#define OSTREL_ENGINE_PATTERNMATCHER_H

/// The text primitives under CheckPattern::match and the "possible intended
/// match" search: fixed-text search with ASCII case folding and a bounded
/// edit distance. The matching itself is CheckPattern::match.

#include "support/fs/TextRef.h"
#include "support/regex/CompiledRegex.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

/// Offset of the first occurrence of `needle` in `haystack`, or npos. With
/// `ignoreCase` only A-Z and a-z compare equal across case; every other byte
/// must match exactly.
size_t findFixedText(TextRef haystack, TextRef needle, bool ignoreCase);

/// Appends the text that `escaped`, made by CompiledRegex::escapeText, stands
/// for.
void appendUnescaped(std::string &out, TextRef escaped);

/// True when `text` begins with `start`, compared as findFixedText does.
bool startsWithText(TextRef text, TextRef start, bool ignoreCase);

/// The compiled form of a pattern's last expanded expression. A pattern
/// without substitutions always expands to the same text, so it compiles
/// once; copies of a pattern share the cache, which is keyed by the text.
struct PatternRegexCache {
  std::string expression;
  unsigned flags = 0;
  CompiledRegex regex{TextRef(), 0};
  bool compiled = false;
  /// Reused for every search so that matching does not allocate.
  std::vector<TextRef> groups;
  /// For a piece of a pattern searched piece by piece: whether the
  /// expression suits that search (PatternPieces decides, once per
  /// compiled expression).
  std::optional<bool> suitsPieces;

  /// The regex for `text` with `flags`, compiling only when they changed.
  const CompiledRegex &get(TextRef text, unsigned wantedFlags);
};

} // namespace ostrel

#endif
