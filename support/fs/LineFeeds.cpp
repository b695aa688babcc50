#include "support/fs/LineFeeds.h"

#ifdef __SSE2__
#include <emmintrin.h>

namespace ostrel {
#endif

namespace {

#ifdef __SSE2__
/// Bit i is set when byte i of the sixteen at `p` is a line feed.
inline unsigned lineFeedMask(const char *p) {
  __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))));
}

/// The set bits of a sixteen-bit mask, in plain arithmetic: the processor's
/// own instruction is not in the baseline instruction set.
inline unsigned bitCount(unsigned mask) {
  mask = mask - ((mask >> 1) & 0x5555u);
  mask = (mask & 0x3333u) + ((mask >> 2) & 0x3333u);
  mask = (mask + (mask >> 4)) & 0x0f0fu;
  return (mask + (mask >> 8)) & 0x1fu;
}
#endif

} // namespace

size_t countLineFeeds(const char *start, const char *end) {
  size_t count = 0;
  const char *p = start;
#ifdef __SSE2__
  // Each byte of `counts` counts the line feeds at its place, for at most
  // 255 steps before the bytes are summed.
  const __m128i lineFeed = _mm_set1_epi8('\n');
  const __m128i zero = _mm_setzero_si128();
  while (end - p >= 16) {
    __m128i counts = zero;
    for (int step = 0; step != 255 && end - p >= 16; ++step, p += 16) {
      __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
      counts = _mm_sub_epi8(counts, _mm_cmpeq_epi8(bytes, lineFeed));
    }
    __m128i sums = _mm_sad_epu8(counts, zero);
    count += static_cast<size_t>(_mm_cvtsi128_si64(sums)) +
             static_cast<size_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
  }
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
    unsigned found = bitCount(mask);
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

} // namespace ostrel
