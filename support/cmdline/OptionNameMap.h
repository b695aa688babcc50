#ifndef OSTREL_SUPPORT_CMDLINE_OPTIONNAMEMAP_H
#define OSTREL_SUPPORT_CMDLINE_OPTIONNAMEMAP_H

/// The map from option name to option that every command scope keeps. It is
/// an open-addressing table whose hash, probe sequence, growth and iteration
/// order are fixed, because user-visible output follows the iteration order
/// (the nearest-option suggestion and the order of missing-option messages).

#include <cstdint>
#include <string>
#include <vector>

#include "support/fs/TextRef.h"

namespace ostrel {

class CommandOption;

class OptionNameMap {
public:
  struct Entry {
    std::string key;
    CommandOption *option;
  };

  /// h = h * 33 + byte, from 0, in 32-bit arithmetic.
  static uint32_t hashKey(TextRef key);

  /// Adds key -> option; false (and no change) when the key is taken.
  bool insert(TextRef key, CommandOption *option);
  /// The option stored under key, or null.
  CommandOption *find(TextRef key) const;
  /// Removes key if present, leaving a tombstone; true when it was there.
  bool erase(TextRef key);

  size_t size() const { return items; }
  size_t bucketCount() const { return buckets.size(); }
  bool empty() const { return items == 0; }

  /// Calls fn(key, option) for every entry in bucket order.
  template <typename Fn> void forEach(Fn &&fn) const {
    for (const Bucket &b : buckets)
      if (b.state == Full)
        fn(TextRef(b.entry.key), b.entry.option);
  }
  /// The entries in bucket order (a snapshot).
  std::vector<Entry> entries() const;

private:
  enum State : uint8_t { Empty, Tombstone, Full };
  struct Bucket {
    State state = Empty;
    uint32_t hash = 0;
    Entry entry{};
  };

  /// Index of the bucket holding key, or -1.
  long findIndex(TextRef key, uint32_t hash) const;
  void rebuild(size_t newCount);

  std::vector<Bucket> buckets;
  size_t items = 0;
  size_t tombstones = 0;
};

} // namespace ostrel

#endif
