#ifndef OSTREL_ENGINE_PATTERNREGEXCACHE_H
#define OSTREL_ENGINE_PATTERNREGEXCACHE_H

/// The compiled form of a pattern's last expanded expression, kept from one
/// search to the next. Tested through CheckPatternMatch_test.cpp.

#include "support/fs/TextRef.h"
#include "support/regex/CompiledRegex.h"

#include <optional>
#include <string>
#include <vector>

namespace ostrel {

/// A pattern without substitutions always expands to the same text, so it
/// compiles once; copies of a pattern share the cache, which is keyed by the
/// text.
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
