// Preparing a text for checking: line ends and runs of blanks. Tested by
// TextPreparation_test.cpp.

#include "engine/TextPreparation.h"

#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace ostrel {

namespace {

/// The first place at or after `p` that preparation changes: a carriage
/// return, or (unless whitespace is strict) a tab or a blank followed by a
/// blank or tab. Sixteen bytes at a time where SSE2 is available.
const char *findPreparationPoint(const char *p, const char *end, bool strict) {
  auto special = [&](const char *q) {
    char c = *q;
    if (c == '\r')
      return true;
    if (strict)
      return false;
    return c == '\t' || (c == ' ' && q + 1 < end && (q[1] == ' ' || q[1] == '\t'));
  };
#ifdef __SSE2__
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i tab = _mm_set1_epi8('\t');
  const __m128i blank = _mm_set1_epi8(' ');
  while (end - p >= 17) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, cr)));
    if (!strict) {
      __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 1));
      __m128i isTab = _mm_cmpeq_epi8(bytes, tab);
      __m128i blankThenWhite =
          _mm_and_si128(_mm_cmpeq_epi8(bytes, blank),
                        _mm_or_si128(_mm_cmpeq_epi8(next, blank), _mm_cmpeq_epi8(next, tab)));
      mask |= static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(isTab, blankThenWhite)));
    }
    if (mask)
      return p + __builtin_ctz(mask);
    p += 16;
  }
#endif
  while (p < end && !special(p))
    ++p;
  return p;
}

/// Writes the prepared form of `size` bytes at `source` to `out`, which may
/// be `source` itself (preparing only ever shortens a text), and answers its
/// length. Stretches that preparation leaves alone are moved only once the
/// text has shortened, so an unchanged text is never written at all.
size_t prepareBytes(const char *source, size_t size, char *out, bool strict) {
  char *const outStart = out;
  const char *p = source;
  const char *end = p + size;
  while (p < end) {
    const char *stop = findPreparationPoint(p, end, strict);
    if (out != p)
      std::memmove(out, p, static_cast<size_t>(stop - p));
    out += stop - p;
    p = stop;
    if (p == end)
      break;
    char c = *p;
    if (c == '\r') {
      if (!(p + 1 < end && p[1] == '\n'))
        *out++ = c;
      ++p;
      continue;
    }
    *out++ = ' ';
    while (p < end && (*p == ' ' || *p == '\t'))
      ++p;
  }
  return static_cast<size_t>(out - outStart);
}

} // namespace

TextRef prepareCopy(TextRef source, std::string &buffer, bool strictWhitespace) {
  // Copied, then prepared in place: sizing the string first would fill it
  // with zeros only for them to be written over.
  buffer.assign(source.data(), source.size());
  size_t length = prepareBytes(buffer.data(), buffer.size(), buffer.data(), strictWhitespace);
  buffer.resize(length + 1);
  buffer[length] = '\0';
  return TextRef(buffer.data(), length);
}

bool isPrepared(TextRef source, bool strictWhitespace) {
  const char *end = source.data() + source.size();
  return findPreparationPoint(source.data(), end, strictWhitespace) == end;
}

TextRef prepareInPlace(OwnedFileBuffer &buffer, bool strictWhitespace) {
  buffer.truncate(prepareBytes(buffer.bufferStart(), buffer.bufferSize(),
                               buffer.mutableStart(), strictWhitespace));
  return buffer.text();
}

} // namespace ostrel
