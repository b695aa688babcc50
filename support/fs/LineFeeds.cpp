#include "support/fs/LineFeeds.h"

#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

#ifdef __SSE2__
/// Bit i is set when byte i of the sixteen at `p` is a line feed.
inline unsigned lineFeedMask(const char *p) {
  __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))));
}
#endif

} // namespace

size_t countLineFeeds(const char *start, const char *end) {
  size_t count = 0;
  const char *p = start;
#ifdef __SSE2__
  for (; end - p >= 16; p += 16)
    count += static_cast<size_t>(__builtin_popcount(lineFeedMask(p)));
#endif
  for (; p != end; ++p)
    count += *p == '\n';
  return count;
}

const char *passLineFeeds(const char *at, const char *end, uint64_t &count) {
  const char *after = at;
  const char *p = at;
#ifdef __SSE2__
  for (; count != 0 && end - p >= 16; p += 16) {
    unsigned mask = lineFeedMask(p);
    unsigned found = static_cast<unsigned>(__builtin_popcount(mask));
    if (found == 0)
      continue;
    if (found < count) {
      count -= found;
      after = p + (32 - __builtin_clz(mask));
      continue;
    }
    // The last line feed wanted is in these sixteen bytes.
    for (; count > 1; --count)
      mask &= mask - 1;
    count = 0;
    return p + __builtin_ctz(mask) + 1;
  }
#endif
  for (; count != 0 && p != end; ++p) {
    if (*p == '\n') {
      --count;
      after = p + 1;
    }
  }
  return after;
}
