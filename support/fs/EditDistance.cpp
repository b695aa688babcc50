#include "support/fs/EditDistance.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace ostrel {

unsigned editDistance(TextRef a, TextRef b, unsigned limit) {
  if (a.size() < b.size())
    std::swap(a, b);
  // The length difference alone is a lower bound.
  if (a.size() - b.size() > limit)
    return limit + 1;
  // Every cell (i, j) is at least |i - j|, so only the band of cells within
  // `limit` of the diagonal can stay within the limit; the others stand at
  // `cap`. Values are kept at most `cap`.
  const unsigned cap = limit + 1;
  auto plusOne = [cap](unsigned value) { return value >= cap ? cap : value + 1; };
  static thread_local std::vector<unsigned> row;
  row.resize(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j)
    row[j] = j < cap ? static_cast<unsigned>(j) : cap;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t low = i > limit ? i - limit : 1;
    size_t high = std::min(b.size(), i + limit);
    unsigned diagonal = row[low - 1];
    unsigned left = low == 1 ? (i < cap ? static_cast<unsigned>(i) : cap) : cap;
    if (low == 1)
      row[0] = left;
    unsigned rowMinimum = left;
    for (size_t j = low; j <= high; ++j) {
      unsigned above = row[j];
      unsigned replace = a[i - 1] == b[j - 1] ? diagonal : plusOne(diagonal);
      unsigned value = std::min({plusOne(above), plusOne(left), replace});
      row[j] = value;
      diagonal = above;
      left = value;
      rowMinimum = std::min(rowMinimum, value);
    }
    // Every later row is at least the minimum of this one.
    if (rowMinimum > limit)
      return cap;
  }
  return row[b.size()];
}

} // namespace ostrel
