#ifndef OSTREL_ENGINE_FIXEDTEXTSEARCH_H
#define OSTREL_ENGINE_FIXEDTEXTSEARCH_H

/// Fixed-text search without the regular-expression engine: one text
/// (findFixedText), or a set of texts in one pass (FixedTextSet), with ASCII
/// case folding. Tested by FixedTextSearch_test.cpp.

#include "support/fs/TextRef.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ostrel {

/// Offset of the first occurrence of `needle` in `haystack`, or npos. With
/// `ignoreCase` only A-Z and a-z compare equal across case; every other byte
/// must match exactly.
size_t findFixedText(TextRef haystack, TextRef needle, bool ignoreCase);

/// True when `text` begins with `start`, compared as findFixedText does.
bool startsWithText(TextRef text, TextRef start, bool ignoreCase);

/// Calls `visit` with the offset of each occurrence of `needle` in `text`
/// that does not overlap the one before, from left to right.
template <typename Visit> void forEachOccurrence(TextRef text, TextRef needle, Visit visit) {
  if (needle.empty())
    return;
  for (size_t from = 0;;) {
    size_t at = findFixedText(text.substr(from), needle, false);
    if (at == TextRef::npos)
      return;
    visit(from + at);
    from += at + needle.size();
  }
}

/// A set of fixed texts searched for together: one pass over a text finds
/// where each of them first occurs, where searching for each on its own
/// would pass over the text once per member. The NOT patterns of a stretch
/// and the first attempts of a DAG group are found this way.

class FixedTextSet {
public:
  /// A set of `texts` (none empty; repeats allowed). With `ignoreCase` the
  /// letters A-Z and a-z compare equal across case, as in findFixedText.
  FixedTextSet(const std::vector<TextRef> &texts, bool ignoreCase);

  /// For each text, in the order given at construction, the offset of its
  /// first occurrence in `haystack`, or TextRef::npos. The pass stops once
  /// every text has been found.
  std::vector<size_t> firstOccurrences(TextRef haystack) const;

  size_t size() const { return memberText.size(); }

private:
  struct Node {
    /// The longest proper suffix of this node's text that is also a node.
    uint32_t fail = 0;
    /// The nearest node along the fail chain (itself excluded) where a
    /// distinct text ends; 0 when none.
    uint32_t outputLink = 0;
    /// The distinct text that ends here, or UINT32_MAX.
    uint32_t text = UINT32_MAX;
    /// This node's edges: edgeBytes/edgeTargets[edgesBegin, edgesEnd),
    /// sorted by byte.
    uint32_t edgesBegin = 0;
    uint32_t edgesEnd = 0;
  };

  uint32_t next(uint32_t node, unsigned char byte) const;

  bool ignoreCase;
  std::vector<Node> nodes;
  std::vector<unsigned char> edgeBytes;
  std::vector<uint32_t> edgeTargets;
  /// Where the root goes on each byte, so that most bytes cost one load.
  uint32_t rootNext[256] = {};
  /// For each member, its distinct text's number; and the lengths of those.
  std::vector<uint32_t> memberText;
  std::vector<uint32_t> distinctLength;
};

} // namespace ostrel

#endif
