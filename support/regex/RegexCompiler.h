#ifndef OSTREL_SUPPORT_REGEX_REGEXCOMPILER_H
#define OSTREL_SUPPORT_REGEX_REGEXCOMPILER_H

/// Compiles a POSIX extended regular expression (plus back-references \1-\9)
/// into a RegexProgram. Works on bytes in the C locale; the pattern is a
/// start and an end pointer, so it may hold NUL bytes. The first error found
/// is the answer, as one of the codes below; nothing is printed or thrown.

#include "support/regex/RegexProgram.h"

#include <cstddef>
#include <memory>

namespace ostrel {

/// Status codes shared by the compiler and the matcher.
enum RegexStatus : int {
  regexOk = 0,
  regexNoMatch = 1,
  regexBadPattern = 2,
  regexBadCollatingElement = 3,
  regexBadClass = 4,
  regexTrailingBackslash = 5,
  regexBadBackref = 6,
  regexBracketsUnbalanced = 7,
  regexParensUnbalanced = 8,
  regexBracesUnbalanced = 9,
  regexBadCount = 10,
  regexBadRange = 11,
  regexOutOfMemory = 12,
  regexBadRepetition = 13,
  regexEmpty = 14,
  regexCantHappen = 15,
  regexBadArgument = 16,
};

/// Compiles [start, end) with `flags` (RegexCompileFlag bits). On success
/// `handle` holds the program and the answer is 0; on failure the handle is
/// left empty and the answer is the error code.
RegexStatus compileRegex(std::unique_ptr<RegexProgram> &handle, const char *start,
                         const char *end, unsigned flags);

/// Copies the message of `code` into `buffer` (truncated to fit, always
/// NUL-terminated when `size` is non-zero). Answers the full message length
/// plus one, so a caller can measure first and then copy in full.
size_t regexErrorText(int code, char *buffer, size_t size);

/// Releases the program held by `handle`.
void freeRegex(std::unique_ptr<RegexProgram> &handle);

} // namespace ostrel

#endif
