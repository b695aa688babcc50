#include "engine/FixedTextSet.h"

#include <algorithm>
#include <string>
#include <utility>

namespace ostrel {

namespace {

constexpr uint32_t noText = UINT32_MAX;

inline unsigned char fold(unsigned char c, bool ignoreCase) {
  return ignoreCase && c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
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
