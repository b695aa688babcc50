#include "engine/FixedTextSearch.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace ostrel {

namespace {

inline char foldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool equalFolded(const char *a, const char *b, size_t size) {
  for (size_t i = 0; i < size; ++i)
    if (foldCase(a[i]) != foldCase(b[i]))
      return false;
  return true;
}

inline bool isAsciiLetter(char c) { return foldCase(c) >= 'a' && foldCase(c) <= 'z'; }

bool equalAt(const char *text, TextRef needle, bool ignoreCase) {
  return ignoreCase ? equalFolded(text, needle.data(), needle.size())
                    : std::memcmp(text, needle.data(), needle.size()) == 0;
}

/// Candidates are the places where both the first and the last byte of the
/// needle fit, tested sixteen places at a time; each is then compared in
/// full. Folding sets bit 0x20 of the bytes compared with a letter, which
/// only admits extra candidates, never loses one.
size_t findCandidates(TextRef haystack, TextRef needle, bool ignoreCase) {
  const char *base = haystack.data();
  const size_t n = haystack.size();
  const size_t k = needle.size();
  if (k > n)
    return TextRef::npos;
  size_t i = 0;
#ifdef __SSE2__
  char first = needle.front();
  char last = needle.back();
  bool foldFirst = ignoreCase && isAsciiLetter(first);
  bool foldLast = ignoreCase && isAsciiLetter(last);
  const __m128i firstByte = _mm_set1_epi8(foldFirst ? foldCase(first) : first);
  const __m128i lastByte = _mm_set1_epi8(foldLast ? foldCase(last) : last);
  const __m128i firstFold = _mm_set1_epi8(foldFirst ? 0x20 : 0);
  const __m128i lastFold = _mm_set1_epi8(foldLast ? 0x20 : 0);
  for (; i + k - 1 + 16 <= n; i += 16) {
    __m128i atFirst =
        _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(base + i)), firstFold);
    __m128i atLast = _mm_or_si128(
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(base + i + k - 1)), lastFold);
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_and_si128(_mm_cmpeq_epi8(atFirst, firstByte), _mm_cmpeq_epi8(atLast, lastByte))));
    while (mask) {
      unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
      if (equalAt(base + i + bit, needle, ignoreCase))
        return i + bit;
      mask &= mask - 1;
    }
  }
#endif
  for (; i + k <= n; ++i)
    if (equalAt(base + i, needle, ignoreCase))
      return i;
  return TextRef::npos;
}

} // namespace

bool startsWithText(TextRef text, TextRef start, bool ignoreCase) {
  return start.size() <= text.size() && equalAt(text.data(), start, ignoreCase);
}

size_t findFixedText(TextRef haystack, TextRef needle, bool ignoreCase) {
  if (needle.empty())
    return 0;
  return findCandidates(haystack, needle, ignoreCase);
}

namespace {

constexpr uint32_t noText = UINT32_MAX;

inline unsigned char fold(unsigned char c, bool ignoreCase) {
  return ignoreCase ? static_cast<unsigned char>(foldCase(static_cast<char>(c))) : c;
}

} // namespace

FixedTextSet::FixedTextSet(const std::vector<TextRef> &texts, bool ignoreCase)
    : ignoreCase(ignoreCase) {
  // The trie is built from the texts in sorted order: each text shares its
  // path with the one before it up to their common prefix, so every node is
  // made without a lookup, and the children of a node come in byte order.
  std::vector<std::string> folded;
  folded.reserve(texts.size());
  for (TextRef text : texts) {
    std::string &f = folded.emplace_back(text);
    for (char &c : f)
      c = static_cast<char>(fold(static_cast<unsigned char>(c), ignoreCase));
  }
  std::vector<uint32_t> order(texts.size());
  for (uint32_t i = 0; i != order.size(); ++i)
    order[i] = i;
  std::sort(order.begin(), order.end(),
            [&](uint32_t a, uint32_t b) { return folded[a] < folded[b]; });

  struct Edge {
    uint32_t parent;
    unsigned char byte;
    uint32_t child;
  };
  std::vector<Edge> edges;
  std::vector<uint32_t> path = {0}; // nodes along the previous text
  nodes.emplace_back();
  memberText.assign(texts.size(), 0);
  const std::string *previous = nullptr;
  for (uint32_t member : order) {
    const std::string &text = folded[member];
    size_t shared = 0;
    if (previous)
      while (shared < previous->size() && shared < text.size() &&
             (*previous)[shared] == text[shared])
        ++shared;
    path.resize(shared + 1);
    for (size_t depth = shared; depth != text.size(); ++depth) {
      uint32_t child = static_cast<uint32_t>(nodes.size());
      nodes.emplace_back();
      edges.push_back({path.back(), static_cast<unsigned char>(text[depth]), child});
      path.push_back(child);
    }
    Node &end = nodes[path.back()];
    if (end.text == noText) {
      end.text = static_cast<uint32_t>(distinctLength.size());
      distinctLength.push_back(static_cast<uint32_t>(text.size()));
    }
    memberText[member] = end.text;
    previous = &text;
  }

  // Each node's edges together: counted, then placed in creation order,
  // which is byte order within one parent.
  for (const Edge &edge : edges)
    ++nodes[edge.parent].edgesEnd;
  uint32_t placed = 0;
  for (Node &node : nodes) {
    node.edgesBegin = placed;
    placed += node.edgesEnd;
    node.edgesEnd = node.edgesBegin;
  }
  edgeBytes.resize(edges.size());
  edgeTargets.resize(edges.size());
  for (const Edge &edge : edges) {
    uint32_t slot = nodes[edge.parent].edgesEnd++;
    edgeBytes[slot] = edge.byte;
    edgeTargets[slot] = edge.child;
  }

  // Fail links in breadth-first order: a node's fail target is shallower.
  std::vector<uint32_t> queue;
  queue.reserve(nodes.size());
  for (uint32_t e = nodes[0].edgesBegin; e != nodes[0].edgesEnd; ++e) {
    rootNext[edgeBytes[e]] = edgeTargets[e];
    queue.push_back(edgeTargets[e]);
  }
  for (size_t head = 0; head != queue.size(); ++head) {
    uint32_t node = queue[head];
    for (uint32_t e = nodes[node].edgesBegin; e != nodes[node].edgesEnd; ++e) {
      uint32_t child = edgeTargets[e];
      uint32_t fail = next(nodes[node].fail, edgeBytes[e]);
      nodes[child].fail = fail;
      nodes[child].outputLink = nodes[fail].text != noText ? fail : nodes[fail].outputLink;
      queue.push_back(child);
    }
  }
}

uint32_t FixedTextSet::next(uint32_t node, unsigned char byte) const {
  while (node != 0) {
    const Node &n = nodes[node];
    // Deep in the trie most nodes have a single edge.
    if (n.edgesEnd - n.edgesBegin == 1) {
      if (edgeBytes[n.edgesBegin] == byte)
        return edgeTargets[n.edgesBegin];
    } else {
      auto begin = edgeBytes.begin() + n.edgesBegin;
      auto end = edgeBytes.begin() + n.edgesEnd;
      auto found = std::lower_bound(begin, end, byte);
      if (found != end && *found == byte)
        return edgeTargets[static_cast<size_t>(found - edgeBytes.begin())];
    }
    node = n.fail;
  }
  return rootNext[byte];
}

std::vector<size_t> FixedTextSet::firstOccurrences(TextRef haystack) const {
  std::vector<size_t> distinctAt(distinctLength.size(), TextRef::npos);
  size_t missing = distinctLength.size();
  const auto *bytes = reinterpret_cast<const unsigned char *>(haystack.data());
  uint32_t node = 0;
  for (size_t i = 0; i != haystack.size() && missing != 0; ++i) {
    if (node == 0) {
      // Most bytes start no text at all.
      while (i != haystack.size() && rootNext[fold(bytes[i], ignoreCase)] == 0)
        ++i;
      if (i == haystack.size())
        break;
    }
    node = next(node, fold(bytes[i], ignoreCase));
    uint32_t found = nodes[node].text != noText ? node : nodes[node].outputLink;
    for (; found != 0; found = nodes[found].outputLink) {
      uint32_t text = nodes[found].text;
      if (distinctAt[text] == TextRef::npos) {
        distinctAt[text] = i + 1 - distinctLength[text];
        --missing;
      }
    }
  }
  std::vector<size_t> result;
  result.reserve(memberText.size());
  for (uint32_t text : memberText)
    result.push_back(distinctAt[text]);
  return result;
}

} // namespace ostrel
