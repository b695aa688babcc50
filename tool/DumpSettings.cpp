#include "tool/DumpSettings.h"

#include <algorithm>

namespace ostrel {

DumpSettings deriveDumpSettings(const std::vector<int32_t> &modes,
                                const std::vector<int32_t> &filters,
                                const std::vector<uint32_t> &contexts) {
  DumpSettings settings;
  if (!modes.empty())
    settings.mode = static_cast<DumpMode>(*std::max_element(modes.begin(), modes.end()));
  if (!filters.empty())
    settings.filter = static_cast<DumpFilter>(*std::max_element(filters.begin(), filters.end()));
  else
    settings.filter = settings.mode == DumpMode::Always ? DumpFilter::All : DumpFilter::Error;
  if (!contexts.empty())
    settings.context = *std::max_element(contexts.begin(), contexts.end());
  return settings;
}

} // namespace ostrel
