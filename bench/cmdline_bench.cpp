// The option parser on one very long argument: finding which prefix option
// an argument names must cost time linear in the argument's length (a
// search that hashed every leading part of it once took hours on 4 MB).

#include "bench/BenchGuard.h"
#include "support/cmdline/CommandLineParser.h"
#include "support/cmdline/ListOption.h"
#include "support/cmdline/OptionRegistry.h"

#include <string>
#include <vector>

namespace ostrel {

namespace {

ListOption<std::string> defines(OptName{"Q"}, OptHelp{"define"}, PrefixOnlyForm);

void parseDefinition(const std::string &argument) {
  defines.resetToDefault();
  defines.occurrences = 0;
  const char *argv[] = {"prog", argument.c_str()};
  parseCommandLine(2, argv, "", "OSTREL_BENCH_OPTS");
  benchmark::DoNotOptimize(defines.values().size());
}

void BM_LongPrefixArgumentGrowth(benchmark::State &state) {
  const std::string small = "-QX=" + std::string(1 << 18, 'v');
  const std::string large = "-QX=" + std::string(10 << 18, 'v');
  // Linear growth measures about 10; a quadratic search would be 100.
  guardRatio(state, "LongPrefixArgumentGrowth", [&] { parseDefinition(large); }, [&] { parseDefinition(small); }, 20);
}
BENCHMARK(BM_LongPrefixArgumentGrowth)->Iterations(7)->Unit(benchmark::kMillisecond);

} // namespace

} // namespace ostrel

using namespace ostrel;

int main(int argc, char **argv) { return runGuardedBenchmarks(argc, argv); }
