#ifndef OSTREL_SUPPORT_FS_LINEFEEDS_H
#define OSTREL_SUPPORT_FS_LINEFEEDS_H

/// Counting and passing over line feeds many bytes at a time: the input dump
/// and the line index of a large input go over every byte of it.

#include <cstddef>
#include <cstdint>

namespace ostrel {

/// The number of line feeds in [start, end).
size_t countLineFeeds(const char *start, const char *end);

/// Passes over up to `count` line feeds from `at` and answers the place just
/// after the last one passed (`at` when none was); `count` is lowered by the
/// number passed, so it is left above 0 when [at, end) held fewer.
const char *passLineFeeds(const char *at, const char *end, uint64_t &count);

} // namespace ostrel

#endif
