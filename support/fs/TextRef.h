#ifndef OSTREL_SUPPORT_FS_TEXTREF_H
#define OSTREL_SUPPORT_FS_TEXTREF_H

/// A non-owning view of characters (pointer and length). Parsing splits, trims
/// and searches it; text that must outlive its source is copied into a string.
/// A default-constructed TextRef is empty and has no data (data() is null),
/// which is how "took no part" is told apart from "matched the empty text".

#include <cstddef>
#include <string_view>

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

/// Consumes `prefix` from the front of `text` when it is there.
inline bool consumeFront(TextRef &text, TextRef prefix) {
  if (!text.starts_with(prefix))
    return false;
  text.remove_prefix(prefix.size());
  return true;
}

#endif
