#!/usr/bin/env bash
# Reading the input: the fixed-text check file over a compiler listing of
# about 2.2 million lines (90 MB), with the input named by --input-file, given
# on standard input ("< listing") and through a pipe ("cat listing |", cat
# included). Paired runs, medians; prints the CPU-time ratios against the
# --input-file run and the peak memory against the input's size, and exits
# non-zero when a target is missed. Usage: bench/input_read_bench.sh BUILD_DIR.
set -u
program=$1/ostrel
lines=${BENCH_LINES:-2200000}
runs=${BENCH_RUNS:-9}
work=$(mktemp -d /tmp/ostrel-input-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

# Functions of 20 lines: the definition, seventeen instructions, the return
# and the closing brace; every instruction line is unique through its number.
awk -v n="$lines" 'BEGIN {
  split("xor add sub mul and or shl", ops, " ")
  for (line = 0; line < n; f++) {
    printf "define i32 @func_%d(i32 %%a, i32 %%b) #%d {\n", f, f % 7; line++
    for (j = 0; j < 17; j++) {
      line++
      printf "  %%v%d = %s i32 %%a, %d    ; line %d\n", j, ops[(f * 17 + j) % 7 + 1],
        (f * 7919 + j * 104729) % 100000, line
    }
    printf "  ret i32 %%v16\n}\n"; line += 2
  }
}' > "$work/listing"

# 10,000 fixed-text LABEL/CHECK/NEXT directives spread over the listing.
awk -v n="$lines" 'BEGIN {
  step = int(n / 20 / 3334)
  for (k = 0; k < 3334; k++) {
    f = k * step
    printf "CHECK-LABEL: define i32 @func_%d(\nCHECK: ; line %d\nCHECK-NEXT: ; line %d\n",
      f, f * 20 + 5, f * 20 + 6
  }
}' > "$work/fixed.check"

cd "$work" || exit 1
"$program" fixed.check --input-file listing || { echo "FAIL: the check file does not pass"; exit 1; }

# One run of a shell command: "CPU WALL PEAK_KB". CPU is user plus system
# time of everything the command ran (cat included), which the other load on
# a shared machine disturbs less than wall time; the targets are judged on
# it. The peak is that of the largest process.
measure() {
  local wall user sys
  read -r wall user sys < <({ TIMEFORMAT='%3R %3U %3S'
    time /usr/bin/time -o "$work/peak" -f %M bash -c "$1" > /dev/null 2>&1; } 2>&1)
  echo "$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }') $wall $(cat "$work/peak")"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

shapes=("$program fixed.check --input-file listing" "$program fixed.check < listing"
        "cat listing | $program fixed.check")
names=("--input-file" "< listing" "cat listing |")
for ((i = 0; i < runs; i++)); do
  for s in 0 1 2; do
    read -r cpu wall peak <<< "$(measure "${shapes[$s]}")"
    echo "$cpu" >> "$work/cpu$s"
    echo "$wall" >> "$work/wall$s"
    echo "$peak" >> "$work/peak$s"
  done
done

size_kb=$(( $(wc -c < listing) / 1024 ))
base=$(median < "$work/cpu0")
status=0
echo "input: $(wc -l < listing) lines, $size_kb KB; $runs paired runs, medians"
targets=("" 1.1 1.3)
for s in 0 1 2; do
  cpu=$(median < "$work/cpu$s")
  wall=$(median < "$work/wall$s")
  peak=$(median < "$work/peak$s")
  ratio=$(awk -v a="$cpu" -v b="$base" 'BEGIN { printf "%.2f", a / b }')
  memory=$(awk -v a="$peak" -v b="$size_kb" 'BEGIN { printf "%.2f", a / b }')
  line=$(printf '%-14s cpu %6ss (%5sx --input-file)  wall %6ss  peak %6s KB = %sx input' \
    "${names[$s]}" "$cpu" "$ratio" "$wall" "$peak" "$memory")
  if [ -n "${targets[$s]}" ] && awk -v r="$ratio" -v t="${targets[$s]}" 'BEGIN { exit !(r > t) }'; then
    line="$line  OVER TARGET (time at most ${targets[$s]}x)"; status=1
  fi
  if [ "$s" != 2 ] && awk -v r="$memory" 'BEGIN { exit !(r > 1.3) }'; then
    line="$line  OVER TARGET (memory at most 1.3x)"; status=1
  fi
  echo "$line"
done
exit $status
