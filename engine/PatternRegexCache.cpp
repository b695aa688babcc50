#include "engine/PatternRegexCache.h"

namespace ostrel {

const CompiledRegex &PatternRegexCache::get(TextRef text, unsigned wantedFlags) {
  if (!compiled || flags != wantedFlags || expression != text) {
    expression.assign(text.data(), text.size());
    flags = wantedFlags;
    regex = CompiledRegex(expression, flags);
    compiled = true;
    suitsPieces.reset();
  }
  return regex;
}

} // namespace ostrel
