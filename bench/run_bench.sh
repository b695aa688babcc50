#!/usr/bin/env bash
# Times ostrel-run on a generated suite of 5,000 tests (each `RUN: printf ...
# | ostrel %s` with three directives) against two references, and measures
# what the runner itself holds in memory and how fast it lists a large tree:
#   - the floor: `xargs -P <cores>` running `bash -e -o pipefail -c` with the
#     same command per test; target: wall time at most 1.2x, the median of
#     paired runs (the two alternate, so that load on this shared machine
#     falls on both alike);
#   - `ctest -j <cores>` on the same tests registered with ostrel_add_test
#     from the installed package; target: ostrel-run at least 5x faster;
#   - for comparison, ostrel-run with every line sent through bash (a
#     start-up file for bash in the environment keeps the checker from
#     starting without it);
#   - the runner's own peak memory (VmHWM of its process, not its tests'),
#     for the 5,000 tests and for one test that prints 1 GB: at most 50 MB;
#   - `ostrel-run --list` over 50,000 test files: at most 1 s (median).
# Usage: bench/run_bench.sh BUILD_DIR (programs BUILD/ostrel, BUILD/ostrel-run).
set -u
build=$(realpath "$1")
runner=$build/ostrel-run
tests=${BENCH_RUN_TESTS:-5000}
list_files=${BENCH_RUN_LIST_FILES:-50000}
rounds=${BENCH_ROUNDS:-3}
cores=$(nproc)
work=$(mktemp -d /tmp/ostrel-run-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
export PATH="$build:$PATH"
status=0

# The suite, 100 tests a folder, and the same commands for xargs.
mkdir "$work/suite"
printf '[run]\nsuffixes = [".test"]\n' > "$work/suite/ostrel.toml"
awk -v n="$tests" -v dir="$work/suite" -v commands="$work/commands" 'BEGIN {
  for (f = 0; f < n; f++) {
    folder = sprintf("%s/g%03d", dir, int(f / 100))
    if (f % 100 == 0)
      system("mkdir -p " folder)
    out = sprintf("%s/t%05d.test", folder, f)
    printf "; RUN: printf '"'"'alpha %d\\nbeta\\ngamma\\n'"'"' | ostrel %%s\n", f > out
    printf "; CHECK: alpha %d\n; CHECK-NEXT: beta\n; CHECK-NEXT: gamma\n", f > out
    close(out)
    printf "cd %s && printf '"'"'alpha %d\\nbeta\\ngamma\\n'"'"' | ostrel %s%c", folder, f, out, 0 > commands
  }
}'

wall_of() { # COMMAND...: prints the wall time of one run in seconds
  local real
  read -r real < <({ TIMEFORMAT='%R'; time "$@" > /dev/null 2>&1; } 2>&1)
  echo "$real"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
over() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }
floor_run() { xargs -0 -P "$cores" -n 1 bash -e -o pipefail -c < "$work/commands"; }
# The runner's peak resident memory in KB, read from its own status while it runs.
peak_kb() {
  "$@" > /dev/null 2>&1 &
  local pid=$! peak=0 now
  while kill -0 $pid 2> /dev/null; do
    now=$(awk '/^VmHWM:/ { print $2 }' /proc/$pid/status 2> /dev/null)
    [ -n "$now" ] && [ "$now" -gt "$peak" ] && peak=$now
    sleep 0.05
  done
  wait $pid
  echo "$peak"
}

if ! "$runner" --quiet "$work/suite" > "$work/first.txt"; then
  echo "run_bench: the generated suite should pass: $(tail -n 1 "$work/first.txt")"
  exit 1
fi
ratios=() run_walls=() floor_walls=() bash_walls=()
for ((round = 0; round < rounds; round++)); do
  run_wall=$(wall_of "$runner" --quiet -j "$cores" "$work/suite")
  bash_wall=$(BASH_ENV=/dev/null wall_of "$runner" --quiet -j "$cores" "$work/suite")
  floor_wall=$(wall_of floor_run)
  run_walls+=("$run_wall")
  bash_walls+=("$bash_wall")
  floor_walls+=("$floor_wall")
  ratios+=("$(ratio "$run_wall" "$floor_wall")")
done
floor_ratio=$(printf '%s\n' "${ratios[@]}" | median)
echo "$tests tests on $cores cores (load: $(cut -d ' ' -f 1-3 /proc/loadavg)):"
echo "  ostrel-run -j $cores  wall $(printf '%s\n' "${run_walls[@]}" | median) s (median of $rounds)"
echo "  ostrel-run, through bash  wall $(printf '%s\n' "${bash_walls[@]}" | median) s"
echo "  xargs -P $cores       wall $(printf '%s\n' "${floor_walls[@]}" | median) s"
echo "  ratio to the floor  $floor_ratio (paired runs: ${ratios[*]}; target at most 1.2)"
if over "$floor_ratio" 1.2; then
  echo "run_bench: ostrel-run is over 1.2x the xargs floor"
  status=1
fi

# The same tests as CTest tests, from the installed package.
if cmake --install "$build" --prefix "$work/prefix" > "$work/install.log" 2>&1; then
  mkdir "$work/project"
  {
    echo 'cmake_minimum_required(VERSION 3.20)'
    echo 'project(RunBench NONE)'
    echo 'enable_testing()'
    echo 'find_package(Ostrel REQUIRED)'
    for file in "$work"/suite/g*/t*.test; do
      number=${file##*/t}
      number=$((10#${number%.test}))
      echo "ostrel_add_test(NAME t$number COMMAND printf \"alpha $number\\\\nbeta\\\\ngamma\\\\n\" CHECK_FILE $file)"
    done
  } > "$work/project/CMakeLists.txt"
  if cmake -S "$work/project" -B "$work/project/build" -DCMAKE_PREFIX_PATH="$work/prefix" \
       > "$work/configure.log" 2>&1; then
    ctest_wall=$(wall_of ctest --test-dir "$work/project/build" -j "$cores")
    ctest --test-dir "$work/project/build" -j "$cores" > "$work/ctest.log" 2>&1 ||
      echo "run_bench: the CTest tests should pass: $(grep 'tests passed' "$work/ctest.log")"
    run_wall=$(wall_of "$runner" --quiet -j "$cores" "$work/suite")
    speedup=$(ratio "$ctest_wall" "$run_wall")
    echo "  ctest -j $cores       wall $ctest_wall s; ostrel-run $run_wall s: ${speedup}x faster (target at least 5)"
    if over 5 "$speedup"; then
      echo "run_bench: ostrel-run is less than 5x faster than ctest"
      status=1
    fi
  else
    echo "run_bench: configuring the CTest project failed:"; tail -n 5 "$work/configure.log"
    status=1
  fi
else
  echo "run_bench: installing failed:"; tail -n 5 "$work/install.log"
  status=1
fi

# Memory: the 5,000 tests, and one test printing 1 GB.
mkdir "$work/loud"
printf '[run]\nsuffixes = [".test"]\n' > "$work/loud/ostrel.toml"
echo 'RUN: head -c 1000000000 /dev/zero | tr "\0" x; false' > "$work/loud/loud.test"
suite_kb=$(peak_kb "$runner" --quiet -j "$cores" "$work/suite")
loud_kb=$(peak_kb "$runner" --json "$work/loud.json" "$work/loud")
echo "  peak memory of the runner: $((suite_kb / 1024)) MB for $tests tests, $((loud_kb / 1024)) MB for a test printing 1 GB (target at most 50 MB)"
if [ "$suite_kb" -gt 51200 ] || [ "$loud_kb" -gt 51200 ]; then
  echo "run_bench: the runner's peak memory is over 50 MB"
  status=1
fi

# Listing a large tree.
mkdir "$work/large"
printf '[run]\nsuffixes = [".test"]\n' > "$work/large/ostrel.toml"
awk -v n="$list_files" -v dir="$work/large" 'BEGIN {
  for (f = 0; f < n; f++) {
    folder = sprintf("%s/g%03d", dir, int(f / 100))
    if (f % 100 == 0)
      system("mkdir -p " folder)
    printf "RUN: true\n" > sprintf("%s/t%05d.test", folder, f)
    close(sprintf("%s/t%05d.test", folder, f))
  }
}'
list_walls=()
for ((round = 0; round < rounds; round++)); do
  list_walls+=("$(wall_of "$runner" --list "$work/large")")
done
listed=$("$runner" --list "$work/large" | wc -l)
list_wall=$(printf '%s\n' "${list_walls[@]}" | median)
echo "  --list over $listed files: $list_wall s (median of $rounds; target at most 1 s)"
if over "$list_wall" 1; then
  echo "run_bench: listing $list_files files took more than 1 s"
  status=1
fi
exit $status
