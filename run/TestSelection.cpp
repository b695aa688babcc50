#include "run/TestSelection.h"

#include <algorithm>
#include <charconv>
#include <filesystem>

namespace ostrel {

namespace fs = std::filesystem;

std::optional<Shard> parseShard(const std::string &text) {
  Shard shard;
  size_t slash = text.find('/');
  if (slash == std::string::npos)
    return std::nullopt;
  const char *end = text.data() + text.size();
  auto first = std::from_chars(text.data(), text.data() + slash, shard.index);
  auto second = std::from_chars(text.data() + slash + 1, end, shard.count);
  if (first.ptr != text.data() + slash || first.ec != std::errc() || second.ptr != end ||
      second.ec != std::errc() || slash == 0 || slash + 1 == text.size())
    return std::nullopt;
  if (shard.count == 0 || shard.index == 0 || shard.index > shard.count)
    return std::nullopt;
  return shard;
}

std::vector<size_t> shardOf(const std::vector<size_t> &selected, Shard shard) {
  std::vector<size_t> part;
  for (size_t i = shard.index - 1; i < selected.size(); i += shard.count)
    part.push_back(selected[i]);
  return part;
}

std::string pathInSuite(const TestPlan &plan, size_t test) {
  std::error_code ignored;
  const TestEntry &entry = plan.tests[test];
  fs::path file = fs::absolute(entry.path, ignored).lexically_normal();
  fs::path root = fs::absolute(plan.suites[entry.suite].root, ignored).lexically_normal();
  return file.lexically_relative(root).string();
}

std::vector<size_t> selectTests(const TestPlan &plan, const std::vector<RunState> &states,
                                const SelectionSettings &settings) {
  std::vector<size_t> selected;
  std::vector<const RecordedResult *> recorded(plan.tests.size());
  for (size_t test = 0; test < plan.tests.size(); ++test) {
    if (settings.filter && !settings.filter->search(plan.tests[test].path))
      continue;
    if (settings.lastFailed || settings.order == StartOrder::SlowestFirst)
      recorded[test] = states[plan.tests[test].suite].find(pathInSuite(plan, test));
    if (settings.lastFailed && !(recorded[test] && isFailure(recorded[test]->result)))
      continue;
    selected.push_back(test);
  }
  if (settings.shard)
    selected = shardOf(selected, *settings.shard);
  if (settings.order == StartOrder::SlowestFirst) {
    // A test never timed may be slow: it starts before every timed one.
    auto seconds = [&](size_t test) {
      return recorded[test] ? recorded[test]->seconds : std::numeric_limits<double>::infinity();
    };
    std::stable_sort(selected.begin(), selected.end(),
                     [&](size_t a, size_t b) { return seconds(a) > seconds(b); });
  }
  return selected;
}

} // namespace ostrel
