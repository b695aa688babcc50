#ifndef OSTREL_SUPPORT_FS_TEXTREF_H
#define OSTREL_SUPPORT_FS_TEXTREF_H

/// A non-owning view of characters (pointer and length). Parsing splits, trims
/// and searches it; text that must outlive its source is copied into a string.
/// A default-constructed TextRef is empty and has no data (data() is null),
/// which is how "took no part" is told apart from "matched the empty text".

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

using TextRef = std::string_view;

/// True for the bytes the C locale calls blank or space (" \t\n\v\f\r").
inline bool isSpaceByte(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/// Drops leading bytes that are in `chars` (whitespace by default).
inline TextRef trimLeft(TextRef text, TextRef chars = " \t\n\v\f\r") {
  size_t start = text.find_first_not_of(chars);
  return start == TextRef::npos ? text.substr(text.size()) : text.substr(start);
}

/// Drops trailing bytes that are in `chars` (whitespace by default).
inline TextRef trimRight(TextRef text, TextRef chars = " \t\n\v\f\r") {
  size_t end = text.find_last_not_of(chars);
  return end == TextRef::npos ? text.substr(0, 0) : text.substr(0, end + 1);
}

/// Drops leading and trailing bytes that are in `chars`.
inline TextRef trim(TextRef text, TextRef chars = " \t\n\v\f\r") {
  return trimRight(trimLeft(text, chars), chars);
}

/// The offset of the first line feed or carriage return at or after `from`,
/// or the size of `text` when there is none. Two byte searches instead of
/// find_first_of, which tests every byte against the set one by one.
inline size_t findLineEnd(TextRef text, size_t from = 0) {
  TextRef rest = text.substr(std::min(from, text.size()));
  size_t end = rest.find('\n');
  if (end == TextRef::npos)
    end = rest.size();
  size_t carriageReturn = rest.substr(0, end).find('\r');
  return text.size() - rest.size() + (carriageReturn == TextRef::npos ? end : carriageReturn);
}

/// Consumes `prefix` from the front of `text` when it is there.
inline bool consumeFront(TextRef &text, TextRef prefix) {
  if (!text.starts_with(prefix))
    return false;
  text.remove_prefix(prefix.size());
  return true;
}

/// Reads an unsigned number from the front of `text` and advances past it.
/// With `base` 0 a prefix chooses the base: "0x"/"0X" 16, "0b"/"0B" 2, "0o"
/// 8, "0" before a digit 8, otherwise 10. Digits valid in the base are taken
/// greedily; at least one is needed and the value must fit in 64 bits,
/// otherwise the answer is false and `text` is unchanged.
inline bool consumeUnsigned(TextRef &text, uint64_t &value, unsigned base = 0) {
  TextRef rest = text;
  if (base == 0) {
    base = 10;
    if (rest.size() >= 2 && rest[0] == '0') {
      char marker = rest[1];
      if (marker == 'x' || marker == 'X' || marker == 'b' || marker == 'B' || marker == 'o') {
        base = marker == 'o' ? 8 : (marker == 'b' || marker == 'B') ? 2 : 16;
        rest.remove_prefix(2);
      } else if (marker >= '0' && marker <= '9') {
        base = 8;
        rest.remove_prefix(1);
      }
    }
  }
  size_t used = 0;
  uint64_t result = 0;
  for (; used < rest.size(); ++used) {
    char c = rest[used];
    unsigned digit = c >= '0' && c <= '9'   ? static_cast<unsigned>(c - '0')
                     : c >= 'a' && c <= 'z' ? static_cast<unsigned>(c - 'a' + 10)
                     : c >= 'A' && c <= 'Z' ? static_cast<unsigned>(c - 'A' + 10)
                                            : 36u;
    if (digit >= base)
      break;
    if (result > (UINT64_MAX - digit) / base)
      return false;
    result = result * base + digit;
  }
  if (used == 0)
    return false;
  value = result;
  text = rest.substr(used);
  return true;
}

/// Views of each of `values`, which must outlive them (option values handed
/// to the engine).
inline std::vector<TextRef> viewsOf(const std::vector<std::string> &values) {
  return std::vector<TextRef>(values.begin(), values.end());
}

} // namespace ostrel

#endif
