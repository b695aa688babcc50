#!/usr/bin/env bash
# A CMake project outside the source tree (tests/install/project) uses
# find_package(Ostrel) and ostrel_add_test against an install into a
# temporary prefix that is then moved, so nothing may point back into the
# build tree. ctest must show each test ending as the table says. Two more
# projects show the configure-time errors for a missing argument.
# Usage: cmake_project.sh <build-dir> <project-dir>; status 77 means skipped.
set -u
build=$1
project=$2
work=$(mktemp -d)
source "$(dirname "$0")/keep_manifest.sh"
if ! command -v cc > /dev/null || ! command -v make > /dev/null; then
  echo "a C compiler and make are needed: skipped"
  exit 77
fi
failed=0

cmake --install "$build" --prefix "$work/stage" > "$work/install.log" 2>&1 ||
  { cat "$work/install.log"; exit 1; }
mv "$work/stage" "$work/prefix"
cmake -S "$project" -B "$work/project" -G "Unix Makefiles" \
  -DCMAKE_PREFIX_PATH="$work/prefix" > "$work/configure.log" 2>&1 &&
  cmake --build "$work/project" > "$work/build.log" 2>&1 ||
  { cat "$work/configure.log" "$work/build.log"; exit 1; }

# test | passes or fails | text its output must hold
cases='
passes|passes|
check-fails|fails|ostrel_add_test: the check failed
producer-crashes|fails|did not finish
producer-exits-3|fails|ostrel_add_test: the producer failed: 
producer-may-fail|passes|
will-fail|passes|
will-fail-but-passes|fails|the check passed, but WILL_FAIL expects it to fail
will-fail-but-producer-fails|fails|exited with status 3
unusable-check-file|fails|ostrel could not check (status 2)
stderr-and-stdin|passes|
working-directory|passes|
suite|passes|
suite-fails|fails|1 passed, 1 failed
'
while IFS='|' read -r name outcome text; do
  [ -n "$name" ] || continue
  output=$(ctest --test-dir "$work/project" -R "^$name\$" --output-on-failure 2>&1)
  status=$?
  ended=passes
  [ "$status" = 0 ] || ended=fails
  if [ "$ended" != "$outcome" ] || [[ $output != *"$text"* ]]; then
    echo "test $name: expected '$outcome' saying '$text', got '$ended':"
    echo "$output"
    failed=1
  fi
done <<< "$cases"

if ! xmllint --noout "$work/project/suite.junit.xml"; then
  echo "ostrel_add_suite wrote no valid JUnit file into the build tree"
  failed=1
fi

# Calls with a missing argument | the message configuring must stop with
errors='
ostrel_add_test(NAME no-check COMMAND cmake -E echo hi)|ostrel_add_test(no-check): CHECK_FILE is missing
ostrel_add_test(NAME no-command CHECK_FILE x.check)|ostrel_add_test(no-command): COMMAND is missing
ostrel_add_suite(NAME no-folder)|ostrel_add_suite(no-folder): DIRECTORY is missing
'
while IFS='|' read -r call message; do
  [ -n "$call" ] || continue
  mkdir -p "$work/bad"
  printf 'cmake_minimum_required(VERSION 3.20)\nproject(Bad NONE)\nenable_testing()\nfind_package(Ostrel REQUIRED)\n%s\n' \
    "$call" > "$work/bad/CMakeLists.txt"
  output=$(cmake -S "$work/bad" -B "$work/bad/build" -DCMAKE_PREFIX_PATH="$work/prefix" 2>&1)
  if [ $? = 0 ] || [[ $output != *"$message"* ]]; then
    echo "configuring '$call': expected failure with '$message', got:"
    echo "$output"
    failed=1
  fi
  rm -rf "$work/bad"
done <<< "$errors"
exit $failed
