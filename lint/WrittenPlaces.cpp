#include "lint/WrittenPlaces.h"

#include <algorithm>

namespace ostrel {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

} // namespace

WrittenPlaces::WrittenPlaces(TextRef written, TextRef prepared, bool strictWhitespace) {
  size_t from = 0;
  size_t shift = 0;
  auto record = [&](size_t at, size_t newShift) {
    if (newShift != shift)
      shifts.push_back({at, newShift});
    shift = newShift;
  };
  for (size_t at = 0; at < prepared.size() && from < written.size(); ++at) {
    if (written[from] == '\r' && prepared[at] == '\n')
      ++from;
    record(at, from - at);
    if (!strictWhitespace && isBlank(written[from]) && prepared[at] == ' ') {
      while (from < written.size() && isBlank(written[from]))
        ++from;
    } else {
      ++from;
    }
  }
  record(prepared.size(), written.size() - prepared.size());
}

size_t WrittenPlaces::writtenOffset(size_t preparedOffset) const {
  auto after = std::upper_bound(
      shifts.begin(), shifts.end(), preparedOffset,
      [](size_t offset, const Shift &entry) { return offset < entry.preparedOffset; });
  return preparedOffset + (after == shifts.begin() ? 0 : std::prev(after)->shift);
}

} // namespace ostrel
