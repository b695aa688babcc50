#include "engine/ExpressionPool.h"

#include "engine/PatternRegexCache.h"

#include <algorithm>

namespace ostrel {

std::shared_ptr<PatternRegexCache> ExpressionPool::entry(TextRef text) {
  if (auto found = entries.find(text); found != entries.end())
    return found->second;
  if (entries.size() >= sweepAt) {
    std::erase_if(entries, [](const auto &held) { return held.second.use_count() == 1; });
    sweepAt = std::max(minimumSweep, entries.size() * 2);
  }
  auto made = std::make_shared<PatternRegexCache>();
  entries.emplace(std::string(text), made);
  return made;
}

} // namespace ostrel
