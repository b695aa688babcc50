#include "bench/BenchGuard.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <malloc.h>
#include <map>
#include <string>
#include <vector>

namespace ostrel {

namespace {

/// The limit of each guard and its ratio in every repetition.
struct GuardRecord {
  double limit = 0;
  std::vector<double> ratios;
};
std::map<std::string, GuardRecord> guards;

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

void guardRatio(benchmark::State &state, const std::string &name,
                const std::function<void()> &measured, const std::function<void()> &reference,
                double limit) {
  std::vector<double> measuredSeconds, referenceSeconds;
  for (auto _ : state) {
    measuredSeconds.push_back(secondsOf(measured));
    referenceSeconds.push_back(secondsOf(reference));
  }
  double ratio = median(measuredSeconds) / median(referenceSeconds);
  state.counters["ratio"] = ratio;
  state.counters["limit"] = limit;
  // Judged once every repetition has run: an error in one repetition would
  // also make this library's aggregates crash.
  GuardRecord &record = guards[name];
  record.limit = limit;
  record.ratios.push_back(ratio);
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
  bool missed = false;
  for (auto &[name, record] : guards) {
    double ratio = median(record.ratios);
    if (ratio <= record.limit)
      continue;
    std::fprintf(stderr, "guard %s missed: median ratio %.2f above its limit %.2f\n", name.c_str(),
                 ratio, record.limit);
    missed = true;
  }
  return missed ? 1 : 0;
}

} // namespace ostrel
