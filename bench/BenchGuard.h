#ifndef OSTREL_BENCH_BENCHGUARD_H
#define OSTREL_BENCH_BENCHGUARD_H

/// Speed guards for the benchmark programs: a ratio of two times measured
/// alternately in the same run, so that the load of a shared machine
/// disturbs both sides alike. A program with guards exits non-zero when one
/// is missed.

#include <benchmark/benchmark.h>

#include <functional>
#include <string>

namespace ostrel {

/// Processor seconds `work` took on this thread.
double secondsOf(const std::function<void()> &work);

/// Times `measured` and `reference` alternately and reports the ratio of
/// their median times as the guard `name`, whose limit is `limit`.
void guardRatio(benchmark::State &state, const std::string &name,
                const std::function<void()> &measured, const std::function<void()> &reference,
                double limit);

/// Google Benchmark's own main. A guard is missed when the median of its
/// ratios over the repetitions exceeds its limit: each missed guard is named
/// on standard error and the answer is non-zero.
int runGuardedBenchmarks(int argc, char **argv);

} // namespace ostrel

#endif
