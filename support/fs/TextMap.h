#ifndef OSTREL_SUPPORT_FS_TEXTMAP_H
#define OSTREL_SUPPORT_FS_TEXTMAP_H

/// A table from texts to values for many short keys, such as the variable
/// names of a large check file. The keys are views that must outlive the
/// table (into a check text or a registered buffer). Entries are never
/// removed; they lie in blocks in the order they were made, and an index of
/// hashes leads to them, so that a table of a hundred thousand keys takes a
/// few megabytes and a lookup touches one or two places.

#include "support/fs/TextRef.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace ostrel {

template <typename T> class TextMap {
public:
  /// The value of `key`, or null when it has none.
  T *find(TextRef key) { return const_cast<T *>(std::as_const(*this).find(key)); }
  const T *find(TextRef key) const {
    if (index.empty())
      return nullptr;
    const uint64_t hash = std::hash<TextRef>()(key);
    for (size_t slot = hash & mask();; slot = (slot + 1) & mask()) {
      uint64_t mark = index[slot];
      if (mark == 0)
        return nullptr;
      if (tagOf(mark) == tagOf(hash)) {
        const Entry &entry = at(numberOf(mark));
        if (entry.key == key)
          return &entry.value;
      }
    }
  }

  /// The value of `key`, made as T() when it has none.
  T &operator[](TextRef key) {
    if (T *value = find(key))
      return *value;
    if ((count + 1) * 2 > index.size())
      grow();
    size_t number = count++;
    if (number % blockSize == 0)
      blocks.push_back(std::make_unique<Entry[]>(blockSize));
    Entry &entry = at(number);
    entry.key = key;
    place(std::hash<TextRef>()(key), number);
    return entry.value;
  }

  /// How many keys have a value.
  size_t size() const { return count; }

  /// Calls `visit` with every key and its value, in the order they were made.
  template <typename Visit> void forEach(Visit visit) {
    for (size_t number = 0; number != count; ++number)
      visit(at(number).key, at(number).value);
  }

private:
  struct Entry {
    TextRef key;
    T value{};
  };
  static constexpr size_t blockSize = 4096;

  // An index slot holds the upper half of the key's hash and the entry's
  // number plus one; 0 marks a free slot.
  static uint64_t tagOf(uint64_t hashOrMark) { return hashOrMark >> 32; }
  static size_t numberOf(uint64_t mark) { return size_t(mark & 0xffffffffu) - 1; }
  size_t mask() const { return index.size() - 1; }

  Entry &at(size_t number) { return blocks[number / blockSize][number % blockSize]; }
  const Entry &at(size_t number) const { return blocks[number / blockSize][number % blockSize]; }

  void place(uint64_t hash, size_t number) {
    size_t slot = hash & mask();
    while (index[slot] != 0)
      slot = (slot + 1) & mask();
    index[slot] = (tagOf(hash) << 32) | uint64_t(number + 1);
  }

  void grow() {
    index.assign(index.empty() ? 16 : index.size() * 2, 0);
    for (size_t number = 0; number != count; ++number)
      place(std::hash<TextRef>()(at(number).key), number);
  }

  std::vector<std::unique_ptr<Entry[]>> blocks;
  std::vector<uint64_t> index;
  size_t count = 0;
};

} // namespace ostrel

#endif
