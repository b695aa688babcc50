#ifndef OSTREL_RUN_TESTSELECTION_H
#define OSTREL_RUN_TESTSELECTION_H

/// Which of the found tests run, and in which order they start: --filter,
/// --last-failed, --shard and --order.

#include "run/RunState.h"
#include "run/TestDiscovery.h"
#include "support/regex/CompiledRegex.h"

#include <optional>
#include <string>
#include <vector>

namespace ostrel {

/// The K-th (1-based) of N parts.
struct Shard {
  unsigned index = 1;
  unsigned count = 1;
};

/// Reads "K/N" with 1 <= K <= N; nullopt when `text` is not that.
std::optional<Shard> parseShard(const std::string &text);

/// The tests of part `shard` among `selected`: every N-th one, starting
/// with the K-th, so that the N parts are disjoint, together are all of
/// `selected`, and differ in size by one at most.
std::vector<size_t> shardOf(const std::vector<size_t> &selected, Shard shard);

enum class StartOrder { Path, SlowestFirst };

/// The path of `test` relative to its suite's root, as the suite's state
/// names it.
std::string pathInSuite(const TestPlan &plan, size_t test);

struct SelectionSettings {
  const CompiledRegex *filter = nullptr;
  bool lastFailed = false;
  std::optional<Shard> shard;
  StartOrder order = StartOrder::Path;
};

/// The tests to run, in the order they start. `states` holds the state of
/// each suite of the plan.
std::vector<size_t> selectTests(const TestPlan &plan, const std::vector<RunState> &states,
                                const SelectionSettings &settings);

} // namespace ostrel

#endif
