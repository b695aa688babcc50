#include "engine/FixedTextSet.h"

#include <algorithm>
#include <map>
#include <utility>

namespace {

constexpr uint32_t noText = UINT32_MAX;

inline unsigned char fold(unsigned char c, bool ignoreCase) {
  return ignoreCase && c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

} // namespace

FixedTextSet::FixedTextSet(const std::vector<TextRef> &texts, bool ignoreCase)
    : ignoreCase(ignoreCase) {
  // The trie, with its edges in a map while it grows.
  std::map<std::pair<uint32_t, unsigned char>, uint32_t> edges;
  nodes.emplace_back();
  memberText.reserve(texts.size());
  for (TextRef text : texts) {
    uint32_t node = 0;
    for (char c : text) {
      auto [edge, added] = edges.try_emplace({node, fold(c, ignoreCase)}, uint32_t(nodes.size()));
      if (added)
        nodes.emplace_back();
      node = edge->second;
    }
    if (nodes[node].text == noText) {
      nodes[node].text = static_cast<uint32_t>(distinctLength.size());
      distinctLength.push_back(static_cast<uint32_t>(text.size()));
    }
    memberText.push_back(nodes[node].text);
  }

  // The map's order groups each node's edges, sorted by byte.
  edgeBytes.reserve(edges.size());
  edgeTargets.reserve(edges.size());
  for (auto &[key, target] : edges) {
    Node &from = nodes[key.first];
    if (from.edgesEnd == 0)
      from.edgesBegin = from.edgesEnd = static_cast<uint32_t>(edgeBytes.size());
    edgeBytes.push_back(key.second);
    edgeTargets.push_back(target);
    ++from.edgesEnd;
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
    auto begin = edgeBytes.begin() + n.edgesBegin;
    auto end = edgeBytes.begin() + n.edgesEnd;
    auto found = std::lower_bound(begin, end, byte);
    if (found != end && *found == byte)
      return edgeTargets[static_cast<size_t>(found - edgeBytes.begin())];
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
