#include "tool/DumpSettings.h"

#include <gtest/gtest.h>

namespace ostrel {

namespace {

TEST(DumpSettings, LargestValueOfEachOptionWins) {
  struct Case {
    std::vector<int32_t> modes;
    std::vector<int32_t> filters;
    std::vector<uint32_t> contexts;
    DumpMode mode;
    DumpFilter filter;
    uint32_t context;
  } cases[] = {
      {{}, {}, {}, DumpMode::Fail, DumpFilter::Error, 5},
      {{0, 3}, {}, {}, DumpMode::Help, DumpFilter::Error, 5},
      {{3, 0}, {}, {}, DumpMode::Help, DumpFilter::Error, 5},
      // Always without a filter shows every line; fail and always together
      // mean always.
      {{1, 2}, {}, {}, DumpMode::Always, DumpFilter::All, 5},
      {{2}, {0}, {}, DumpMode::Always, DumpFilter::Error, 5},
      {{0}, {1, 3, 2}, {}, DumpMode::Never, DumpFilter::All, 5},
      {{}, {}, {3, 10}, DumpMode::Fail, DumpFilter::Error, 10},
      {{}, {}, {0}, DumpMode::Fail, DumpFilter::Error, 0},
      // Contexts compare unsigned.
      {{}, {}, {4294967295u, 5}, DumpMode::Fail, DumpFilter::Error, 4294967295u},
  };
  for (const Case &c : cases) {
    DumpSettings s = deriveDumpSettings(c.modes, c.filters, c.contexts);
    EXPECT_EQ(s.mode, c.mode);
    EXPECT_EQ(s.filter, c.filter);
    EXPECT_EQ(s.context, c.context);
  }
}

} // namespace

} // namespace ostrel
