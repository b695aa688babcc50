#!/usr/bin/env bash
# Times ostrel-lint over a generated suite of 10000 small check files (about
# 3 KB each, every kind of directive, captures, expressions and prose), next
# to `grep -rc` over the same files as the reference of the run. Fails when
# the median run costs 2 s of processor time or more. Usage:
# bench/lint_bench.sh BUILD_DIR (the program is BUILD/ostrel-lint).
set -u
program=$1/ostrel-lint
files=${BENCH_LINT_FILES:-10000}
limit_ms=${BENCH_LINT_LIMIT_MS:-2000}
runs=${BENCH_REPETITIONS:-5}
work=$(mktemp -d /tmp/ostrel-lint-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

# One folder per 100 files, so that the walk has folders to go through.
awk -v n="$files" -v dir="$work/suite" 'BEGIN {
  for (f = 0; f < n; f++) {
    folder = sprintf("%s/group%03d", dir, int(f / 100))
    if (f % 100 == 0)
      system("mkdir -p " folder)
    out = sprintf("%s/case%05d.check", folder, f)
    printf "; RUN: compile %%s | ostrel %%s --check-prefixes=CHECK,ASM\n" > out
    printf "; COM: case %d of the generated suite; the lines below are what\n", f > out
    printf "; the compiler must print for it, in this order.\n" > out
    for (b = 0; b < 8; b++) {
      printf "; CHECK-LABEL: function f%d_%d\n", f, b > out
      printf "; CHECK: entry [[ENTRY%d:[a-z]+]] at {{[0-9]+}}\n", b > out
      printf "; ASM: mov [[REG%d:r[0-9]+]], [[#ADDR%d:]]\n", b, b > out
      printf "; ASM-NEXT: add [[REG%d]], [[#ADDR%d + 8]]\n", b, b > out
      printf "; CHECK-NOT: error: {{.*}} in f%d_%d\n", f, b > out
      printf "; CHECK-DAG: note: [[ENTRY%d]] uses {{[[:alpha:]_]+}}\n", b > out
      printf "; CHECK-SAME: (inlined)\n" > out
      printf ";   Prose: CHECK lines above cover the %d-th block; see the note.\n", b > out
    }
    printf "; CHECK-EMPTY:\n" > out
    close(out)
  }
}'
bytes=$(cat "$work"/suite/*/*.check | wc -c)

# Prints the median wall time and the median processor time (user and system)
# in milliseconds of running the command RUNS times. Eight builds may share
# this machine, so the wall time stretches with the load; the processor time
# is what the program itself costs, and what the limit applies to.
median_ms() {
  local walls=() cpus=()
  local TIMEFORMAT='%R %U %S'
  for ((i = 0; i < runs; i++)); do
    local real user sys
    read -r real user sys < <({ time "$@" > /dev/null 2>&1; } 2>&1)
    walls+=("$(awk -v t="$real" 'BEGIN { printf "%d", t * 1000 }')")
    cpus+=("$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%d", (u + s) * 1000 }')")
  done
  local median='{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
  echo "$(printf '%s\n' "${walls[@]}" | sort -n | awk "$median")" \
    "$(printf '%s\n' "${cpus[@]}" | sort -n | awk "$median")"
}

"$program" --quiet "$work/suite"
status=$?
if [ "$status" -ne 0 ]; then
  echo "lint_bench: the generated suite should lint clean (status $status)"
  exit 1
fi
read -r lint_wall lint_cpu < <(median_ms "$program" --quiet "$work/suite")
read -r grep_wall grep_cpu < <(median_ms grep -rc CHECK "$work/suite")
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / (b ? b : 1) }'; }
echo "$files files, $bytes bytes:"
echo "  ostrel-lint  wall ${lint_wall} ms, processor ${lint_cpu} ms"
echo "  grep -rc     wall ${grep_wall} ms, processor ${grep_cpu} ms"
echo "  ratio        wall $(ratio "$lint_wall" "$grep_wall"), processor $(ratio "$lint_cpu" "$grep_cpu")"
if [ "$lint_cpu" -ge "$limit_ms" ]; then
  echo "lint_bench: ${lint_cpu} ms of processor time is over the limit of ${limit_ms} ms"
  exit 1
fi
