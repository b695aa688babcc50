#!/usr/bin/env bash
# A tour of Ostrel in one command: a check file describes what a build tool's
# report must contain; one report satisfies it, a second one does not.
# Usage: bash examples/demo.sh path/to/ostrel
set -u
ostrel=${1:?usage: demo.sh path/to/ostrel}
case $ostrel in /*) ;; *) ostrel=$PWD/$ostrel ;; esac
cd "$(dirname "$0")" || exit 1

banner() { printf '\n=== %s\n' "$*"; }

banner "The check file (build-report.check)"
cat build-report.check

banner "1. A report that satisfies every directive"
echo "\$ ostrel build-report.check < report-good.txt"
"$ostrel" build-report.check < report-good.txt 2>&1
status=$?
echo "(exit status $status: every directive matched)"
if [ "$status" -ne 0 ]; then
  echo "demo: the good report should have passed" >&2
  exit 1
fi

banner "2. The same run with -v and the input dump: where each directive matched"
echo "\$ ostrel -v -dump-input=always build-report.check < report-good.txt"
"$ostrel" -v -dump-input=always build-report.check < report-good.txt 2>&1

banner "3. A report with mistakes: diagnostics, then the annotated input"
echo "\$ ostrel build-report.check --input-file report-bad.txt"
"$ostrel" build-report.check --input-file report-bad.txt 2>&1
status=$?
echo "(exit status $status: some directives failed, as expected)"
if [ "$status" -ne 1 ]; then
  echo "demo: the bad report should have failed with status 1" >&2
  exit 1
fi

banner "Done. -dump-input=help explains the dump; --help lists every option."
exit 0
