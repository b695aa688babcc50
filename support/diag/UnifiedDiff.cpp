#include "support/diag/UnifiedDiff.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace ostrel {

namespace {

constexpr size_t contextLines = 3;
/// Beyond this many differing lines the middle is shown as one replacement,
/// so that memory stays bounded.
constexpr int64_t largestSearchedDistance = 1000;

std::vector<TextRef> splitLines(TextRef text) {
  std::vector<TextRef> lines;
  while (!text.empty()) {
    size_t end = text.find('\n');
    end = end == TextRef::npos ? text.size() : end + 1;
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end);
  }
  return lines;
}

enum class Op : uint8_t { Keep, Remove, Add };

/// The shortest edit script from a to b (Myers), or nothing when it is
/// longer than the limit.
bool shortestEdit(const std::vector<TextRef> &a, const std::vector<TextRef> &b,
                  std::vector<Op> &script) {
  const int64_t n = static_cast<int64_t>(a.size()), m = static_cast<int64_t>(b.size());
  const int64_t limit = std::min(n + m, largestSearchedDistance);
  const int64_t offset = limit + 1;
  std::vector<int64_t> v(static_cast<size_t>(2 * limit + 3), 0);
  std::vector<std::vector<int64_t>> trace;
  for (int64_t d = 0; d <= limit; ++d) {
    trace.push_back(v);
    for (int64_t k = -d; k <= d; k += 2) {
      int64_t x = (k == -d || (k != d && v[offset + k - 1] < v[offset + k + 1]))
                      ? v[offset + k + 1]
                      : v[offset + k - 1] + 1;
      int64_t y = x - k;
      while (x < n && y < m && a[x] == b[y])
        ++x, ++y;
      v[offset + k] = x;
      if (x >= n && y >= m) {
        // Walk back through the trace.
        std::vector<Op> reversed;
        int64_t cx = n, cy = m;
        for (int64_t e = d; e > 0; --e) {
          const std::vector<int64_t> &prev = trace[e];
          int64_t ck = cx - cy;
          bool down = ck == -e || (ck != e && prev[offset + ck - 1] < prev[offset + ck + 1]);
          int64_t pk = down ? ck + 1 : ck - 1;
          int64_t px = prev[offset + pk], py = px - pk;
          while (cx > px + (down ? 0 : 1) && cy > py + (down ? 1 : 0))
            reversed.push_back(Op::Keep), --cx, --cy;
          reversed.push_back(down ? Op::Add : Op::Remove);
          cx = px, cy = py;
        }
        while (cx > 0 && cy > 0)
          reversed.push_back(Op::Keep), --cx, --cy;
        script.assign(reversed.rbegin(), reversed.rend());
        return true;
      }
    }
  }
  return false;
}

void appendLine(std::string &out, char mark, TextRef line) {
  out += mark;
  out += line;
  if (!line.ends_with('\n'))
    out += "\n\\ No newline at end of file\n";
}

} // namespace

std::string unifiedDiff(TextRef before, TextRef after, TextRef fileName) {
  if (before == after)
    return "";
  std::vector<TextRef> a = splitLines(before), b = splitLines(after);
  size_t head = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head])
    ++head;
  size_t tail = 0;
  while (tail < a.size() - head && tail < b.size() - head &&
         a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
    ++tail;
  std::vector<TextRef> midA(a.begin() + head, a.end() - tail), midB(b.begin() + head, b.end() - tail);
  std::vector<Op> script(head, Op::Keep);
  std::vector<Op> middle;
  if (!shortestEdit(midA, midB, middle)) {
    middle.assign(midA.size(), Op::Remove);
    middle.insert(middle.end(), midB.size(), Op::Add);
  }
  script.insert(script.end(), middle.begin(), middle.end());
  script.insert(script.end(), tail, Op::Keep);

  std::string out = "--- " + std::string(fileName) + "\n+++ " + std::string(fileName) + "\n";
  size_t i = 0;
  // Positions in a and b at script index i.
  std::vector<size_t> posA(script.size() + 1), posB(script.size() + 1);
  for (size_t s = 0; s < script.size(); ++s) {
    posA[s + 1] = posA[s] + (script[s] != Op::Add);
    posB[s + 1] = posB[s] + (script[s] != Op::Remove);
  }
  while (i < script.size()) {
    while (i < script.size() && script[i] == Op::Keep)
      ++i;
    if (i == script.size())
      break;
    size_t start = i >= contextLines ? i - contextLines : 0;
    // Extend the hunk while the next change is within twice the context.
    size_t end = i;
    while (true) {
      while (end < script.size() && script[end] != Op::Keep)
        ++end;
      size_t keep = end;
      while (keep < script.size() && script[keep] == Op::Keep && keep - end <= 2 * contextLines)
        ++keep;
      if (keep < script.size() && script[keep] != Op::Keep && keep - end <= 2 * contextLines) {
        end = keep;
        continue;
      }
      end = std::min(script.size(), end + contextLines);
      break;
    }
    size_t lengthA = posA[end] - posA[start], lengthB = posB[end] - posB[start];
    out += "@@ -" + std::to_string(posA[start] + (lengthA ? 1 : 0)) + "," + std::to_string(lengthA) +
           " +" + std::to_string(posB[start] + (lengthB ? 1 : 0)) + "," + std::to_string(lengthB) +
           " @@\n";
    for (size_t s = start; s < end; ++s) {
      if (script[s] == Op::Keep)
        appendLine(out, ' ', a[posA[s]]);
      else if (script[s] == Op::Remove)
        appendLine(out, '-', a[posA[s]]);
      else
        appendLine(out, '+', b[posB[s]]);
    }
    i = end;
  }
  return out;
}

} // namespace ostrel
