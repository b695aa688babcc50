#include "bench/BenchGuard.h"

#include <algorithm>
#include <ctime>
#include <malloc.h>
#include <string>
#include <vector>

namespace {

bool guardMissed = false;

// Processor time of this thread: other load on the machine disturbs it
// less than wall time.
double threadSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double median(std::vector<double> &values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

} // namespace

double secondsOf(const std::function<void()> &work) {
  double start = threadSeconds();
  work();
  return threadSeconds() - start;
}

void guardRatio(benchmark::State &state, const std::function<void()> &measured,
                const std::function<void()> &reference, double limit) {
  std::vector<double> measuredSeconds, referenceSeconds;
  for (auto _ : state) {
    measuredSeconds.push_back(secondsOf(measured));
    referenceSeconds.push_back(secondsOf(reference));
  }
  double ratio = median(measuredSeconds) / median(referenceSeconds);
  state.counters["ratio"] = ratio;
  state.counters["limit"] = limit;
  if (ratio > limit) {
    guardMissed = true;
    std::string message = "ratio " + std::to_string(ratio) + " above its limit";
    state.SkipWithError(message.c_str());
  }
}

int runGuardedBenchmarks(int argc, char **argv) {
  // Freed memory stays with the process: otherwise whichever size happens
  // to cross the allocator's thresholds pays page faults on every run, and
  // the ratios measure the allocator instead of the work.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return guardMissed ? 1 : 0;
}
