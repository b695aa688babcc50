#ifndef OSTREL_TOOL_DUMPSETTINGS_H
#define OSTREL_TOOL_DUMPSETTINGS_H

/// When the annotated input dump is printed and what it shows, combined from
/// every occurrence of the three dump options.

#include "tool/InputDump.h"

#include <cstdint>
#include <vector>

namespace ostrel {

/// When the annotated input dump is printed. The numbers order the precedence
/// when the option is given several times.
enum class DumpMode : int32_t {
  Never = 0,
  Fail = 1,
  Always = 2,
  Help = 3,
};

struct DumpSettings {
  DumpMode mode = DumpMode::Fail;
  DumpFilter filter = DumpFilter::Error;
  uint32_t context = 5;
};

/// Combines every value given for -dump-input, -dump-input-filter and
/// -dump-input-context: the largest value of each wins; with none given the
/// mode is fail, the filter all (mode always) or error, the context 5.
DumpSettings deriveDumpSettings(const std::vector<int32_t> &modes,
                                const std::vector<int32_t> &filters,
                                const std::vector<uint32_t> &contexts);

} // namespace ostrel

#endif
