#!/usr/bin/env bash
# Times the program on the shapes where a checker can repeat work or grow
# worse than its input, each next to a reference measured in the same run
# (grep, or the same run without the option under test), and checks the
# ratios, the growth and the peak memory against their targets.
# Usage: bench/speed_bench.sh BUILD_DIR (the program is BUILD_DIR/ostrel).
# BENCH_REPEAT sets the repetitions per measurement (default 3; the median
# counts); BENCH_ONLY, a regular expression, limits the rows that run;
# BENCH_TIMEOUT bounds every single run in seconds (default 120).
set -u
program=$(realpath "$1/ostrel")
repeat=${BENCH_REPEAT:-3}
only=${BENCH_ONLY:-.}
limit=${BENCH_TIMEOUT:-120}
here=$(dirname "$0")
work=$(mktemp -d /tmp/ostrel-speed.XXXXXX)
trap 'rm -rf "$work"' EXIT
status=0

# ---- inputs ---------------------------------------------------------------

bash "$here/make_listing.sh" 110000 "$work" || exit 1
mkdir "$work/tenth"
bash "$here/make_listing.sh" 11000 "$work/tenth" || exit 1
listing=$work/listing.ll
listing_size=$(stat -c %s "$listing")

# CHECK-COUNT with a regular expression, the count being what grep finds.
count_check() { # NAME REGEX(grep -E) PATTERN(ostrel)
  local n
  n=$(grep -E -c "$2" "$listing")
  echo "CHECK-COUNT-$n: {{$3}}" > "$work/$1.check"
}
count_check count-ops '(add|sub|mul) i32' '(add|sub|mul) i32'
count_check count-v1x 'v1[0-6] = ' 'v1[0-6] = '

# Numeric captures: pairs of lines a = N, b = N+1 and a check per pair.
awk -v pairs=100000 -v input="$work/pairs.txt" -v check="$work/pairs.check" 'BEGIN {
  srand(17)
  for (i = 0; i < pairs; i++) {
    n = int(rand() * 1000000)
    printf "value of a = %d at step %d\nvalue of b = %d at step %d\n", n, i, n + 1, i > input
    print "CHECK: a = [[#N:]]\nCHECK-NEXT: b = [[#N+1]]" > check
  }
}'
# The same before their one label, which comes last: every pair is held
# until the label is found, then run and let go one by one.
labelled_pairs() { # PAIRS
  awk -v pairs="$1" -v input="$work/labelled$1.txt" -v check="$work/labelled$1.check" 'BEGIN {
    for (i = 0; i < pairs; i++) {
      printf "value of a = %d\nvalue of b = %d\n", i, i + 1 > input
      print "CHECK: a = [[#N:]]\nCHECK-NEXT: b = [[#N+1]]" > check
    }
    print "end of pairs" > input
    print "CHECK-LABEL: end of pairs" > check
  }'
}
labelled_pairs 30000
labelled_pairs 300000

# A DAG group of N entries over the same N lines in another order.
dag_shape() { # N
  awk -v n="$1" -v input="$work/dag$1.txt" -v check="$work/dag$1.check" 'BEGIN {
    srand(5)
    for (i = 0; i < n; i++) order[i] = i
    for (i = n - 1; i > 0; i--) { j = int(rand() * (i + 1)); t = order[i]; order[i] = order[j]; order[j] = t }
    for (i = 0; i < n; i++) {
      printf "key %d value\n", order[i] > input
      printf "CHECK-DAG: key %d value\n", i > check
    }
  }'
}
dag_shape 5000
dag_shape 50000

# Ten thousand NOT patterns between two CHECKs over 100,000 lines.
head -n 100000 "$listing" > "$work/head.ll"
awk 'BEGIN { for (i = 0; i < 10000; i++) printf "call void @abort_%d(i32 %%a)\n", i }' \
  > "$work/not.strings"
{ echo 'CHECK: @func_0('; sed 's/^/CHECK-NOT: /' "$work/not.strings"; echo 'CHECK: @func_4999('; } \
  > "$work/not.check"

echo 'CHECK: this text is not in the listing' > "$work/unmatched.check"

implicit_args() { # COUNT
  for ((i = 0; i < $1; i++)); do echo "--implicit-check-not=call void @abort_$i("; done
}
mapfile -t implicit100 < <(implicit_args 100)
# Ten thousand options exceed what one argument may hold: a response file.
implicit_args 10000 | sed "s/.*/'&'/" > "$work/implicit10000.rsp"
awk 'BEGIN { for (i = 0; i < 1000; i++) printf "line %d ok\n", i }' > "$work/thousand.txt"
awk 'BEGIN { for (i = 0; i < 1000; i++) printf "CHECK: line %d ok\n", i }' > "$work/thousand.check"

# Check-file reading: 100,000 directives, the two check files five times
# over, none of them run (the input fails the first one).
{ echo 'CHECK: never in the input'
  for _ in 1 2 3 4 5; do cat "$work/fixed.check" "$work/mixed.check"; done; } > "$work/read.check"
echo 'nothing here' > "$work/read.txt"
echo 'CHECK: never in the input' > "$work/read-one.check"

# One {{...}} block of N pieces.
regex_block() { # NAME PIECE N LAST
  awk -v piece="$2" -v n="$3" -v last="$4" \
    'BEGIN { printf "CHECK: {{"; for (i = 1; i < n; i++) printf "%s", piece; print last "}}" }' \
    > "$work/$1.check"
}
regex_block star3200 'a*' 3200 'a*'
regex_block star32000 'a*' 32000 'a*'
regex_block alt3200 'a|' 3200 'a'
regex_block alt32000 'a|' 32000 'a'
: > "$work/empty.txt"

# A literal of 40,000 bytes with every regex special character in it, as a
# directive and as the input line; the failing input differs in its last byte.
awk 'BEGIN { for (i = 0; i < 4000; i++) printf "(x+y)*[z]."; print "" }' > "$work/long.txt"
sed 's/.$/!/' "$work/long.txt" > "$work/long-bad.txt"
sed 's/^/CHECK: /' "$work/long.txt" > "$work/long.check"

# N identical DAG directives over N identical lines.
same_dag() { # N
  yes ab | head -n "$1" > "$work/ab$1.txt"
  yes 'CHECK-DAG: ab' | head -n "$1" > "$work/ab$1.check"
}
same_dag 1000
same_dag 4000
same_dag 10000

# Ten thousand matches on one line.
awk 'BEGIN { for (i = 0; i < 10000; i++) printf "ab "; print "" }' > "$work/oneline.txt"
echo 'CHECK-COUNT-10000: ab' > "$work/oneline.check"

# Listings as a disassembler prints them, one line per instruction, and check
# files as ostrel-update --scrub writes them: a {{...}} block on every line
# (or a capture and a use), next to the same files in plain text.
disassembly() { # LINES DIR
  mkdir -p "$2"
  awk -v n="$1" -v dir="$2" 'BEGIN {
    srand(3)
    for (i = 0; i < n; i++) {
      address = sprintf("0x%x", int(rand() * 4294967295))
      directive = i % 2 ? "CHECK-NEXT" : "CHECK"
      printf "  mov %s, %%rax ; slot %d\n", address, i > (dir "/mov.txt")
      printf "%s: mov %s, %%rax ; slot %d\n", directive, address, i > (dir "/plain.check")
      printf "%s: mov {{0x[0-9a-fA-F]+}}, %%rax ; slot %d\n", directive, i > (dir "/block.check")
      printf "def %s ; slot %d\nuse %s\n", address, i, address > (dir "/pairs.txt")
      printf "CHECK: def %s ; slot %d\nCHECK-NEXT: use %s\n", address, i, address > (dir "/pairs-plain.check")
      printf "CHECK: def [[A%d:0x[0-9a-f]+]] ; slot %d\nCHECK-NEXT: use [[A%d]]\n", i, i, i > (dir "/pairs.check")
    }
  }'
}
disassembly 200000 "$work/mov200000"
disassembly 20000 "$work/mov20000"

# One pattern of N pieces a{{[0-9]+}} that matches at the start of a line of
# 64 KB.
awk 'BEGIN { s = ""; while (length(s) < 65536) s = s "a" (length(s) % 1000); print substr(s, 1, 65536) }' \
  > "$work/line64k.txt"
for pieces in 512 4096; do
  awk -v n="$pieces" 'BEGIN { printf "CHECK: "; for (i = 0; i < n; i++) printf "a{{[0-9]+}}"; print "" }' \
    > "$work/pieces$pieces.check"
done

# ---- measuring ------------------------------------------------------------

# Runs a command line once: "CPU_SECONDS PEAK_KB STATUS". Output goes to
# files: grep stops at the first match when its output is /dev/null. CPU time is user
# plus system time of the command and its children, which other load on the
# machine disturbs less than wall time; in a command that marks one program
# of a pipeline with {own}, it is that program's own time (not cat's).
run_once() { # COMMAND
  local times rss rc command=${1//\{own\}/\/usr\/bin\/time -f \'%U %S\' -o $work\/own}
  rm -f "$work/own"
  times=$( { TIMEFORMAT='%3U %3S'; time timeout "$limit" /usr/bin/time -f %M -o "$work/rss" \
             bash -c "$command" > "$work/stdout" 2> "$work/stderr"; } 2>&1 )
  [ -s "$work/own" ] && times=$(grep -E '^[0-9.]+ [0-9.]+$' "$work/own" | tail -n 1)
  rss=$(grep -E '^[0-9]+$' "$work/rss" | tail -n 1)
  rc=$(sed -n 's/.*non-zero status \([0-9]*\).*/\1/p' "$work/rss")
  rc=${rc:-0}
  [ -n "$rss" ] || { rss=0; rc=timeout; }
  awk -v t="$times" -v m="$rss" -v r="$rc" 'BEGIN { split(t, p, " "); printf "%.3f %d %s\n", p[1] + p[2], m, r }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Measures a pair in alternation, REPEAT times each: sets sub_cpu, sub_kb,
# sub_rc, ref_cpu, ref_kb (medians; the status of the subject's last run).
measure_pair() { # SUBJECT REFERENCE
  local i line sub_times="" ref_times="" sub_mems="" ref_mems=""
  # One untimed run of each first: this VM hands memory freed a few seconds
  # ago back to its host, and whichever run takes it first pays several
  # times the cost of fresh memory.
  run_once "$1" > /dev/null
  [ -n "$2" ] && run_once "$2" > /dev/null
  for ((i = 0; i < repeat; i++)); do
    read -r c m sub_rc <<< "$(run_once "$1")"
    sub_times+="$c"$'\n'; sub_mems+="$m"$'\n'
    [ "$sub_rc" = timeout ] && break
    if [ -n "$2" ]; then
      read -r c m _ <<< "$(run_once "$2")"
      ref_times+="$c"$'\n'; ref_mems+="$m"$'\n'
    fi
  done
  sub_cpu=$(printf '%s' "$sub_times" | median); sub_kb=$(printf '%s' "$sub_mems" | median)
  ref_cpu=$(printf '%s' "${ref_times:-0}" | median); ref_kb=$(printf '%s' "${ref_mems:-0}" | median)
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
over() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.0f MiB", k / 1024 }'; }

row_status=""
verdict() { # OK? TEXT
  if [ "$1" = ok ]; then row_status+="  ok: $2"; else row_status+="  MISSED: $2"; status=1; fi
}

# One row: NAME, expected status of the subject, subject, reference, then
# checks as words: cpu<=R (ratio to reference), sec<=S, kb-input<=F (peak
# over the input size), kb-ref<=F (peak over the reference's), kb-above<=MB
# (peak above the input size).
row() { # NAME STATUS SUBJECT REFERENCE INPUT_BYTES CHECK...
  local name=$1 want=$2 subject=$3 reference=$4 input_bytes=$5 check limit_value shown
  shift 5
  [[ $name =~ $only ]] || return 0
  measure_pair "$subject" "$reference"
  row_status=""
  if [ "$sub_rc" = timeout ]; then
    verdict missed "timed out after ${limit}s"
  elif [ "$sub_rc" != "$want" ]; then
    verdict missed "exit status $sub_rc, expected $want: $(head -c 300 "$work/stderr")"
  fi
  for check in "$@"; do
    limit_value=${check#*<=}
    case $check in
      cpu*) shown=$(ratio "$sub_cpu" "$ref_cpu")
            over "$shown" "$limit_value" && verdict missed "${shown}x reference (<= ${limit_value}x)" ||
              verdict ok "${shown}x reference (<= ${limit_value}x)";;
      sec*) over "$sub_cpu" "$limit_value" && verdict missed "${sub_cpu}s (<= ${limit_value}s)" ||
              verdict ok "${sub_cpu}s (<= ${limit_value}s)";;
      kb-input*) shown=$(ratio "$((sub_kb * 1024))" "$input_bytes")
            over "$shown" "$limit_value" && verdict missed "memory ${shown}x input (<= ${limit_value}x)" ||
              verdict ok "memory ${shown}x input (<= ${limit_value}x)";;
      kb-ref*) shown=$(ratio "$sub_kb" "$ref_kb")
            over "$shown" "$limit_value" && verdict missed "memory ${shown}x reference (<= ${limit_value}x)" ||
              verdict ok "memory ${shown}x reference (<= ${limit_value}x)";;
      kb-above*) shown=$(( (sub_kb * 1024 - input_bytes) / 1048576 ))
            over "$shown" "$limit_value" && verdict missed "${shown} MiB above input (<= ${limit_value})" ||
              verdict ok "${shown} MiB above input (<= ${limit_value})";;
    esac
  done
  printf '%-44s %8ss %9s | ref %8ss %9s |%s\n' "$name" "$sub_cpu" "$(mib "$sub_kb")" \
    "$ref_cpu" "$(mib "$ref_kb")" "$row_status"
  last_cpu=$sub_cpu
}

# A row judged on growth: the same shape at two sizes ten times apart.
growth_row() { # NAME SMALL LARGE STATUS
  [[ $1 =~ $only ]] || return 0
  measure_pair "$2" ""; local small=$sub_cpu
  measure_pair "$3" ""; local large=$sub_cpu shown
  shown=$(ratio "$large" "$small")
  row_status=""
  over "$shown" 11 && verdict missed "10x size takes ${shown}x (<= 11x)" ||
    verdict ok "10x size takes ${shown}x (<= 11x)"
  [ "$sub_rc" = "$4" ] || verdict missed "exit status $sub_rc, expected $4"
  printf '%-44s %8ss -> %8ss |%s\n' "$1" "$small" "$large" "$row_status"
}

# ---- rows -----------------------------------------------------------------

o="$program"
w=$work
echo "listing: $(wc -l < "$listing") lines, $listing_size bytes; median of $repeat runs, cpu seconds"
row "CHECK-COUNT {{(add|sub|mul) i32}}" 0 "$o $w/count-ops.check --input-file=$listing" \
  "grep -E -c '(add|sub|mul) i32' $listing" "$listing_size" 'cpu<=3'
row "CHECK-COUNT {{v1[0-6] = }}" 0 "$o $w/count-v1x.check --input-file=$listing" \
  "grep -E -c 'v1[0-6] = ' $listing" "$listing_size" 'cpu<=3'
row "100,000 numeric CHECK/NEXT pairs" 0 "$o $w/pairs.check --input-file=$w/pairs.txt" \
  "" "$(stat -c %s "$w/pairs.txt")" 'sec<=0.2' 'kb-input<=3'
growth_row "numeric pairs before one label, 30,000 -> 300,000" \
  "$o $w/labelled30000.check --input-file=$w/labelled30000.txt" \
  "$o $w/labelled300000.check --input-file=$w/labelled300000.txt" 0
growth_row "DAG group of N over N shuffled lines" "$o $w/dag5000.check --input-file=$w/dag5000.txt" \
  "$o $w/dag50000.check --input-file=$w/dag50000.txt" 0
row "10,000 CHECK-NOT over 100,000 lines" 0 "$o $w/not.check --input-file=$w/head.ll" \
  "grep -F -c -f $w/not.strings $w/head.ll" 0 'cpu<=20'
row "unmatched CHECK, default failure dump" 1 "$o $w/unmatched.check --input-file=$listing" \
  "$o $w/unmatched.check --input-file=$listing --dump-input=never" "$listing_size" \
  'cpu<=1.5' 'kb-input<=2.5'
row "--implicit-check-not x100, 10,000 directives" 0 \
  "$o $w/fixed.check --input-file=$listing ${implicit100[*]@Q}" \
  "$o $w/fixed.check --input-file=$listing" "$listing_size" 'kb-ref<=1.2'
row "fixed-text check file" 0 "$o $w/fixed.check --input-file=$listing" \
  "grep -c 'ret i32 %v16' $listing" "$listing_size" 'cpu<=1.5' 'kb-input<=1.3'
growth_row "fixed-text check file, 10x input" "$o $w/tenth/fixed.check --input-file=$w/tenth/listing.ll" \
  "$o $w/fixed.check --input-file=$listing" 0
row "mixed check file" 0 "$o $w/mixed.check --input-file=$listing" \
  "grep -c 'ret i32 %v16' $listing" "$listing_size" 'cpu<=2.5'
row "input on standard input (< listing)" 0 "$o $w/fixed.check < $listing" \
  "$o $w/fixed.check --input-file=$listing" "$listing_size" 'cpu<=1.1'
row "input through a pipe (cat listing |), own cpu" 0 "cat $listing | {own} $o $w/fixed.check" \
  "{own} $o $w/fixed.check --input-file=$listing" "$listing_size" 'cpu<=1.3'

if [[ "check-file reading" =~ $only ]]; then
  measure_pair "$o $w/read.check --input-file=$w/read.txt --dump-input=never" \
    "$o $w/read-one.check --input-file=$w/read.txt --dump-input=never"
  read_bytes=$(stat -c %s "$w/read.check")
  rate=$(awk -v b="$read_bytes" -v t="$sub_cpu" -v s="$ref_cpu" \
    'BEGIN { d = t - s; printf "%.0f", (d > 0.001 ? b / d / 1e6 : b / 0.001 / 1e6) }')
  row_status=""
  over 100 "$rate" && verdict missed "${rate} MB/s (>= 100)" || verdict ok "${rate} MB/s (>= 100)"
  printf '%-44s %8ss %9s | ref %8ss %9s |%s\n' "check-file reading (100,000 directives)" \
    "$sub_cpu" "$(mib "$sub_kb")" "$ref_cpu" "$(mib "$ref_kb")" "$row_status"
fi

for piece in star alt; do
  want=0; [ $piece = alt ] && want=1
  row "{{...}} of 32,000 '$piece' pieces, empty input" $want \
    "$o $w/${piece}32000.check --input-file=$w/empty.txt --allow-empty" "" 0 'sec<=0.1'
  growth_row "{{...}} of 3,200 -> 32,000 '$piece' pieces" \
    "$o $w/${piece}3200.check --input-file=$w/empty.txt --allow-empty" \
    "$o $w/${piece}32000.check --input-file=$w/empty.txt --allow-empty" $want
done

row "--match-full-lines, 40,000-byte literal" 0 \
  "$o $w/long.check --input-file=$w/long.txt --match-full-lines" \
  "$o $w/long.check --input-file=$w/long.txt" 0 'cpu<=2'
row "--match-full-lines, 40,000-byte literal, fails" 1 \
  "$o $w/long.check --input-file=$w/long-bad.txt --match-full-lines" \
  "$o $w/long.check --input-file=$w/long-bad.txt" 0 'cpu<=2'

row "4,000 identical CHECK-DAG, -vv" 0 "$o $w/ab4000.check --input-file=$w/ab4000.txt -vv" \
  "$o $w/ab4000.check --input-file=$w/ab4000.txt" 0 'cpu<=1.5'
growth_row "identical CHECK-DAG, 1,000 -> 10,000" "$o $w/ab1000.check --input-file=$w/ab1000.txt" \
  "$o $w/ab10000.check --input-file=$w/ab10000.txt" 0
row "-v --dump-input=always, 10,000 matches/line" 0 \
  "$o $w/oneline.check --input-file=$w/oneline.txt -v --dump-input=always" "" \
  "$(stat -c %s "$w/oneline.txt")" 'kb-above<=50'
row "--implicit-check-not x10,000, 1,000 directives" 0 \
  "$o $w/thousand.check --input-file=$w/thousand.txt @$w/implicit10000.rsp" "" 0 \
  'sec<=0.5' 'kb-above<=50'

d=$w/mov200000
row "200,000 {{...}} directives vs plain text" 0 "$o $d/block.check --input-file=$d/mov.txt" \
  "$o $d/plain.check --input-file=$d/mov.txt" 0 'cpu<=4' 'kb-ref<=2'
row "200,000 capture/use pairs vs plain text" 0 "$o $d/pairs.check --input-file=$d/pairs.txt" \
  "$o $d/pairs-plain.check --input-file=$d/pairs.txt" 0 'cpu<=4' 'kb-ref<=2'
growth_row "{{...}} directives, 20,000 -> 200,000" \
  "$o $w/mov20000/block.check --input-file=$w/mov20000/mov.txt" \
  "$o $d/block.check --input-file=$d/mov.txt" 0
row "4,096 a{{[0-9]+}} pieces vs 512, 64 KB line" 0 \
  "$o $w/pieces4096.check --input-file=$w/line64k.txt" \
  "$o $w/pieces512.check --input-file=$w/line64k.txt" 0 'cpu<=10'

exit $status
