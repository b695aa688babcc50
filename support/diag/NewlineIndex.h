#ifndef OSTREL_SUPPORT_DIAG_NEWLINEINDEX_H
#define OSTREL_SUPPORT_DIAG_NEWLINEINDEX_H

/// The ascending offsets of every line feed in a buffer, for turning a
/// position into a line number by bisection. The element width follows the
/// buffer size (8 bits up to 255 bytes, 16 up to 65,535, 32 up to
/// 4,294,967,295, else 64) so that small buffers cost little. Carriage
/// returns are not entered in a line index; a separate index of them (made
/// with `byte` '\r') lets columns be found without walking back over long
/// lines.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

namespace ostrel {

class NewlineIndex {
public:
  /// Scans [start, end) once for `byte`.
  NewlineIndex(const char *start, const char *end, char byte = '\n');

  /// 1 plus the number of entries at offsets strictly below `offset`.
  unsigned lineOf(size_t offset) const;
  /// The offset of the last entry strictly below `offset`, if there is one.
  std::optional<size_t> lastBefore(size_t offset) const;
  /// Bytes per entry: 1, 2, 4 or 8.
  unsigned elementWidth() const;
  size_t newlineCount() const;

private:
  std::variant<std::vector<uint8_t>, std::vector<uint16_t>, std::vector<uint32_t>,
               std::vector<uint64_t>>
      offsets_;
};

} // namespace ostrel

#endif
