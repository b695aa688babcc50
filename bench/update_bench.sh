#!/usr/bin/env bash
# Times ostrel-update turning a million-line output into a test file (and
# refreshing that file again) against ostrel checking the same output with the
# result, in paired runs; the target is at most 3x, judged on the median ratio
# of CPU time (user plus system), which other load disturbs less than wall time.
# Usage: bench/update_bench.sh BUILD_DIR (programs BUILD/ostrel, BUILD/ostrel-update).
set -u
checker=$1/ostrel
updater=$1/ostrel-update
lines=${BENCH_LINES:-1000000}
rounds=${BENCH_ROUNDS:-3}
work=$(mktemp -d /tmp/ostrel-update-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

# Compiler-like output: a function label every 50 lines, numbers and text
# that needs the literal form.
awk -v n="$lines" 'BEGIN {
  for (i = 0; i < n; i++)
    if (i % 50 == 0) printf "define i32 @fn%d(i32 %%x) {\n", i
    else printf "  %%%d = add i32 %%x, %d ; note {{%d}} seq=%d\n", i, i * 7, i % 13, i
}' > "$work/output.txt"
printf '; RUN: producer | ostrel %%s\n' > "$work/fresh.ll"

cpu_of() { # COMMAND...: prints "WALL CPU" of one run
  local wall user sys
  { read -r wall user sys; } < <({ TIMEFORMAT='%R %U %S'; time "$@" > /dev/null 2>&1; } 2>&1)
  echo "$wall $(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

status=0
for scenario in write refresh; do
  ratios=()
  for ((round = 0; round < rounds; round++)); do
    if [ $scenario = write ]; then
      cp "$work/fresh.ll" "$work/test.ll"
    fi
    read -r update_wall update_cpu <<< "$(cpu_of "$updater" --label='^define' --input-file "$work/output.txt" "$work/test.ll")"
    read -r check_wall check_cpu <<< "$(cpu_of "$checker" --input-file "$work/output.txt" "$work/test.ll")"
    if ! "$checker" --input-file "$work/output.txt" "$work/test.ll" 2> /dev/null; then
      echo "FAIL: the written test file does not pass"; exit 1
    fi
    ratios+=("$(ratio "$update_cpu" "$check_cpu")")
    printf '%-8s round %d: update wall %7ss cpu %7ss; check wall %7ss cpu %7ss\n' \
      "$scenario" "$round" "$update_wall" "$update_cpu" "$check_wall" "$check_cpu"
  done
  middle=$(printf '%s\n' "${ratios[@]}" | median)
  echo "$scenario: $lines lines, update takes ${middle}x the check's cpu time (median; target: at most 3x)"
  if awk -v r="$middle" 'BEGIN { exit !(r > 3) }'; then
    echo "over target: $scenario takes ${middle}x the check"; status=1
  fi
done
exit $status
