#!/usr/bin/env bash
# Runs one end-to-end case and compares its exit status, standard output and
# standard error byte for byte with the expected ones.
#
# A case is a folder:
#   args      the arguments, one per line (no shell quoting); the program is
#             started under its own file name from inside the case folder
#   script    instead of args: a bash script run inside the case folder with
#             $OSTREL naming the program (and $OSTREL_CHECK the checker, when
#             the runner was given one); its output and status are compared
#   stdin     optional: standard input (otherwise /dev/null)
#   env       optional: NAME=VALUE lines added to an otherwise empty environment
#   status    optional: the expected exit status (default 0)
#   stdout    optional: the expected standard output (default empty)
#   stderr    optional: the expected standard error (default empty)
# plus whatever check files and inputs the arguments name.
#
# With OSTREL_BLESS=1 the expected files are rewritten from what the program
# printed: read every blessed file before committing it.
set -u
program=$1
case_dir=$2
checker=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cd "$case_dir" || exit 1
env_args=(PATH=/usr/bin:/bin)
if [ -f env ]; then
  while IFS= read -r line || [ -n "$line" ]; do env_args+=("$line"); done < env
fi
stdin_file=/dev/null
[ -f stdin ] && stdin_file=stdin

if [ -f script ]; then
  env -i "${env_args[@]}" OSTREL="$program" OSTREL_CHECK="$checker" bash script < "$stdin_file" > "$work/stdout" 2> "$work/stderr"
  actual_status=$?
else
  args=()
  while IFS= read -r line || [ -n "$line" ]; do args+=("$line"); done < args
  env -i "${env_args[@]}" bash -c 'exec -a "$(basename "$1")" "$@"' run "$program" "${args[@]}" \
    < "$stdin_file" > "$work/stdout" 2> "$work/stderr"
  actual_status=$?
fi

if [ "${OSTREL_BLESS:-0}" = 1 ]; then
  echo "$actual_status" > status
  for stream in stdout stderr; do
    if [ -s "$work/$stream" ]; then cp "$work/$stream" "$stream"; else rm -f "$stream"; fi
  done
  exit 0
fi

failed=0
expected_status=0
[ -f status ] && expected_status=$(tr -d ' \n' < status)
if [ "$actual_status" != "$expected_status" ]; then
  echo "exit status: expected $expected_status, got $actual_status"
  failed=1
fi
for stream in stdout stderr; do
  expected=/dev/null
  [ -f "$stream" ] && expected=$stream
  if ! cmp -s "$expected" "$work/$stream"; then
    echo "$stream differs (expected, actual):"
    diff -a "$expected" "$work/$stream" | cat -A | head -n 60
    failed=1
  fi
done
exit $failed
