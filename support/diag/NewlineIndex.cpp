#include "support/diag/NewlineIndex.h"

#include <algorithm>
#include <cstring>

namespace ostrel {

namespace {

template <class T> std::vector<T> collect(const char *start, const char *end, char byte) {
  std::vector<T> offsets;
  for (const char *p = start; p < end;) {
    const void *hit = std::memchr(p, byte, static_cast<size_t>(end - p));
    if (!hit)
      break;
    const char *nl = static_cast<const char *>(hit);
    offsets.push_back(static_cast<T>(nl - start));
    p = nl + 1;
  }
  return offsets;
}

} // namespace

NewlineIndex::NewlineIndex(const char *start, const char *end, char byte) {
  size_t size = static_cast<size_t>(end - start);
  if (size <= UINT8_MAX)
    offsets_ = collect<uint8_t>(start, end, byte);
  else if (size <= UINT16_MAX)
    offsets_ = collect<uint16_t>(start, end, byte);
  else if (size <= UINT32_MAX)
    offsets_ = collect<uint32_t>(start, end, byte);
  else
    offsets_ = collect<uint64_t>(start, end, byte);
}

unsigned NewlineIndex::lineOf(size_t offset) const {
  return std::visit(
      [offset](const auto &offsets) {
        auto it = std::lower_bound(offsets.begin(), offsets.end(), offset,
                                   [](auto entry, size_t value) { return entry < value; });
        return static_cast<unsigned>(it - offsets.begin()) + 1;
      },
      offsets_);
}

std::optional<size_t> NewlineIndex::lastBefore(size_t offset) const {
  return std::visit(
      [offset](const auto &offsets) -> std::optional<size_t> {
        auto it = std::lower_bound(offsets.begin(), offsets.end(), offset,
                                   [](auto entry, size_t value) { return entry < value; });
        if (it == offsets.begin())
          return std::nullopt;
        return static_cast<size_t>(*(it - 1));
      },
      offsets_);
}

unsigned NewlineIndex::elementWidth() const {
  return std::visit([](const auto &offsets) {
    return static_cast<unsigned>(sizeof(typename std::decay_t<decltype(offsets)>::value_type));
  }, offsets_);
}

size_t NewlineIndex::newlineCount() const {
  return std::visit([](const auto &offsets) { return offsets.size(); }, offsets_);
}

} // namespace ostrel
