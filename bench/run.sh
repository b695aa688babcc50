#!/usr/bin/env bash
# Runs every benchmark program of the bench build, then every benchmark script.
set -u
build=$1
status=0
for program in "$build"/bench/bench_*; do
  [ -x "$program" ] || continue
  echo "== $(basename "$program")"
  "$program" --benchmark_repetitions=${BENCH_REPETITIONS:-5} --benchmark_report_aggregates_only=true || status=1
done
for script in "$(dirname "$0")"/*_bench.sh; do
  [ -f "$script" ] || continue
  echo "== $(basename "$script")"
  bash "$script" "$build" || status=1
done
exit $status
