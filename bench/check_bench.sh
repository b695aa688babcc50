#!/usr/bin/env bash
# Times the program on generated compiler-like output (about a million lines,
# over 100 MB) against check files of 10000 directives, next to `grep -c` and
# `wc -l` over the same input, and checks that the time grows linearly with
# the input. Usage: bench/check_bench.sh BUILD_DIR (the program is BUILD/ostrel).
set -u
program=$1/ostrel
lines=${BENCH_LINES:-1000000}
work=$(mktemp -d /tmp/ostrel-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

# Input: one line per diagnostic of a made-up compiler; every line is unique
# through its serial number and sequence number.
generate_input() { # LINES FILE
  awk -v n="$1" 'BEGIN {
    for (i = 0; i < n; i++)
      printf "src/mod%03d/file%02d.c:%d:%d: warning: unused variable '\''tmp%d'\'' [-Wunused-variable] in function '\''compute_%d'\'' serial #%07d seq=%d\n",
        i % 1000, i % 100, i % 5000 + 1, i % 80 + 1, i % 9973, i % 313, i, i
  }' > "$2"
}

# Fixed text only: NOT, plain, NEXT and DAG directives, five per 500 lines.
generate_fixed_check() { # LINES FILE
  awk -v n="$1" 'BEGIN {
    for (b = 0; b + 500 <= n; b += 500) {
      print "CHECK-NOT: fatal error"
      printf "CHECK: serial #%07d\n", b + 50
      printf "CHECK-NEXT: serial #%07d\n", b + 51
      printf "CHECK-DAG: serial #%07d\n", b + 202
      printf "CHECK-DAG: serial #%07d\n", b + 201
    }
  }' > "$2"
}

# Every kind: NOT, plain, NEXT with a string capture, numeric capture and use,
# a DAG group, regular expressions; ten per 1000 lines.
generate_mixed_check() { # LINES FILE
  awk -v n="$1" 'BEGIN {
    for (b = 0; b + 1000 <= n; b += 1000) {
      print "CHECK-NOT: fatal error"
      printf "CHECK: serial #%07d\n", b + 10
      printf "CHECK-NEXT: file{{[0-9]+}}.c:[[LINE:[0-9]+]]:{{.*}} serial #%07d\n", b + 11
      print "CHECK-SAME: seq=[[#SEQ:]]"
      print "CHECK-NEXT: seq=[[#SEQ+1]]{{$}}"
      printf "CHECK-DAG: serial #%07d\n", b + 500
      printf "CHECK-DAG: serial #%07d\n", b + 400
      printf "CHECK: serial #%07d seq=[[#SEQ+589]]\n", b + 600
      printf "CHECK: {{warning: unused variable .tmp[0-9]+.}} [-Wunused-variable]{{.*}}#%07d\n", b + 700
      print "CHECK-NOT: error:"
    }
  }' > "$2"
}

# Best of three runs: "WALL CPU" in seconds, CPU being user plus system time.
# The targets are judged on CPU time, which other load on the machine
# disturbs less than wall time.
best_time() {
  local best_wall="" best_cpu="" wall user sys cpu
  for _ in 1 2 3; do
    { read -r wall user sys; } < <({ TIMEFORMAT='%R %U %S'; time "$@" > /dev/null 2>&1; } 2>&1)
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')
    if [ -z "$best_cpu" ] || awk -v a="$cpu" -v b="$best_cpu" 'BEGIN { exit !(a < b) }'; then
      best_cpu=$cpu
    fi
    if [ -z "$best_wall" ] || awk -v a="$wall" -v b="$best_wall" 'BEGIN { exit !(a < b) }'; then
      best_wall=$wall
    fi
  done
  echo "$best_wall $best_cpu"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

generate_input "$lines" "$work/input.txt"
generate_input $((lines / 10)) "$work/input-small.txt"
generate_fixed_check "$lines" "$work/fixed.check"
generate_mixed_check "$lines" "$work/mixed.check"
generate_mixed_check $((lines / 10)) "$work/mixed-small.check"

status=0
for check in fixed mixed; do
  "$program" "$work/$check.check" -input-file="$work/input.txt" > /dev/null 2> "$work/$check.err" ||
    { echo "FAIL: $check check file does not pass:"; head -n 20 "$work/$check.err"; status=1; }
done
[ $status = 0 ] || exit 1

size=$(wc -c < "$work/input.txt")
echo "input: $lines lines, $size bytes; check files of $(wc -l < "$work/fixed.check") and $(wc -l < "$work/mixed.check") directives"
read -r grep_wall grep_cpu <<< "$(best_time grep -c 'fatal error' "$work/input.txt")"
read -r wc_wall wc_cpu <<< "$(best_time wc -l "$work/input.txt")"
read -r fixed_wall fixed_cpu <<< "$(best_time "$program" "$work/fixed.check" -input-file="$work/input.txt")"
read -r mixed_wall mixed_cpu <<< "$(best_time "$program" "$work/mixed.check" -input-file="$work/input.txt")"
read -r small_wall small_cpu <<< "$(best_time "$program" "$work/mixed-small.check" -input-file="$work/input-small.txt")"

report() { # NAME WALL CPU
  printf '%-26s wall %7ss  cpu %7ss' "$1" "$2" "$3"
  [ $# -gt 3 ] || { echo; return; }
  printf '  cpu = %s x grep -c, %s x wc -l\n' "$(ratio "$3" "$grep_cpu")" "$(ratio "$3" "$wc_cpu")"
}
report "grep -c" "$grep_wall" "$grep_cpu"
report "wc -l" "$wc_wall" "$wc_cpu"
report "ostrel, fixed text" "$fixed_wall" "$fixed_cpu" ratios
report "ostrel, mixed kinds" "$mixed_wall" "$mixed_cpu" ratios
report "ostrel, mixed, 1/10 input" "$small_wall" "$small_cpu"
growth=$(ratio "$mixed_cpu" "$small_cpu")
echo "10x input takes ${growth}x the cpu time (target: at most 11x)"

fixed_ratio=$(ratio "$fixed_cpu" "$grep_cpu")
if awk -v r="$fixed_ratio" 'BEGIN { exit !(r > 3) }'; then
  echo "over target: fixed-text check takes ${fixed_ratio}x grep -c (target: at most 3x)"; status=1
fi
if awk -v r="$growth" 'BEGIN { exit !(r > 11) }'; then
  echo "over target: time grows faster than the input"; status=1
fi
exit $status
