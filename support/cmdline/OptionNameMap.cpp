#include "support/cmdline/OptionNameMap.h"

namespace ostrel {

uint32_t OptionNameMap::hashKey(TextRef key) {
  uint32_t h = 0;
  for (char c : key)
    h = h * 33 + static_cast<unsigned char>(c);
  return h;
}

long OptionNameMap::findIndex(TextRef key, uint32_t hash) const {
  if (buckets.empty())
    return -1;
  size_t mask = buckets.size() - 1;
  size_t index = hash & mask;
  for (size_t step = 1;; ++step) {
    const Bucket &b = buckets[index];
    if (b.state == Empty)
      return -1;
    if (b.state == Full && b.hash == hash && b.entry.key == key)
      return static_cast<long>(index);
    index = (index + step) & mask;
  }
}

CommandOption *OptionNameMap::find(TextRef key) const {
  long index = findIndex(key, hashKey(key));
  return index < 0 ? nullptr : buckets[index].entry.option;
}

bool OptionNameMap::insert(TextRef key, CommandOption *option) {
  if (buckets.empty())
    buckets.resize(16);
  uint32_t hash = hashKey(key);
  size_t mask = buckets.size() - 1;
  size_t index = hash & mask;
  long firstTombstone = -1;
  for (size_t step = 1;; ++step) {
    Bucket &b = buckets[index];
    if (b.state == Empty)
      break;
    if (b.state == Tombstone) {
      if (firstTombstone < 0)
        firstTombstone = static_cast<long>(index);
    } else if (b.hash == hash && b.entry.key == key) {
      return false;
    }
    index = (index + step) & mask;
  }
  if (firstTombstone >= 0) {
    index = static_cast<size_t>(firstTombstone);
    --tombstones;
  }
  Bucket &b = buckets[index];
  b.state = Full;
  b.hash = hash;
  b.entry.key.assign(key);
  b.entry.option = option;
  ++items;

  size_t count = buckets.size();
  if (4 * items > 3 * count)
    rebuild(count * 2);
  else if (count - items - tombstones <= count / 8)
    rebuild(count);
  return true;
}

bool OptionNameMap::erase(TextRef key) {
  long index = findIndex(key, hashKey(key));
  if (index < 0)
    return false;
  Bucket &b = buckets[index];
  b.state = Tombstone;
  b.entry = Entry{};
  --items;
  ++tombstones;
  return true;
}

void OptionNameMap::rebuild(size_t newCount) {
  std::vector<Bucket> old(newCount);
  old.swap(buckets);
  size_t mask = newCount - 1;
  for (Bucket &b : old) {
    if (b.state != Full)
      continue;
    size_t index = b.hash & mask;
    for (size_t step = 1; buckets[index].state != Empty; ++step)
      index = (index + step) & mask;
    buckets[index] = std::move(b);
  }
  tombstones = 0;
}

std::vector<OptionNameMap::Entry> OptionNameMap::entries() const {
  std::vector<Entry> result;
  forEach([&](TextRef key, CommandOption *option) {
    result.push_back(Entry{std::string(key), option});
  });
  return result;
}

} // namespace ostrel
