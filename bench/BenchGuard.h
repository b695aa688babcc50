#ifndef OSTREL_BENCH_BENCHGUARD_H
#define OSTREL_BENCH_BENCHGUARD_H

/// Speed guards for the benchmark programs: a ratio of two times measured
/// alternately in the same run, so that the load of a shared machine
/// disturbs both sides alike. A program with guards exits non-zero when one
/// is missed.

#include <benchmark/benchmark.h>

#include <functional>

/// Processor seconds `work` took on this thread.
double secondsOf(const std::function<void()> &work);

/// Times `measured` and `reference` alternately, reports the ratio of their
/// median times and marks the guard missed when it exceeds `limit`.
void guardRatio(benchmark::State &state, const std::function<void()> &measured,
                const std::function<void()> &reference, double limit);

/// Google Benchmark's own main, answering non-zero when a guard was missed.
int runGuardedBenchmarks(int argc, char **argv);

#endif
