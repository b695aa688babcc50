#!/usr/bin/env bash
# Loads the generated bash completion of ostrel into bash and completes a
# table of command lines the way readline does: the function registered for
# the command is called with COMP_LINE and COMP_POINT, and each reply is put
# back after the last word-break character of the word, giving the words
# the user would see.
# Usage: completion.sh <completion-script>
set -u
script=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch check.txt -- --data
mkdir chdir

# command line (completed at its end) | the words offered, in any order
cases='
ostrel --dump-i|--dump-input= --dump-input-context= --dump-input-filter=
ostrel --dump-input=|--dump-input=always --dump-input=fail --dump-input=help --dump-input=never
ostrel -dump-input-filter=annotation|-dump-input-filter=annotation -dump-input-filter=annotation-full
ostrel --color=|--color=false --color=true
ostrel --dump-input |always fail help never
ostrel -v --dump-input-filter e|error
ostrel --input-file=ch|--input-file=check.txt --input-file=chdir
ostrel --input-file c|check.txt chdir
ostrel @ch|@check.txt @chdir/
ostrel -v ch|check.txt chdir
ostrel --crash-diagnostics-dir=ch|--crash-diagnostics-dir=chdir
ostrel -- --d|--data
ostrel -D|-D
ostrel --vv|--vv
ostrel --help=|
ostrel --check-prefix |
ostrel --nonsense=|
'

failed=0
while IFS='|' read -r line expected; do
  [ -n "$line" ] || continue
  offered=$(
    COMP_LINE=$line COMP_POINT=${#line} bash -c '
      source "$1" && registration=$(complete -p ostrel) || { echo "(not loaded)"; exit; }
      function=${registration#*-F }; function=${function%% *}
      "$function"
      cur=${COMP_LINE##*[[:space:]]}
      keep=0
      for (( i = 0; i < ${#cur}; i++ )); do
        c=${cur:i:1}
        if [[ $COMP_WORDBREAKS == *"$c"* ]]; then
          keep=$(( i + 1 ))
          [[ $c == [@\$] ]] && keep=$i
        fi
      done
      for reply in "${COMPREPLY[@]}"; do echo "${cur:0:keep}$reply"; done
    ' complete "$script" | sort | tr '\n' ' ')
  want=$(echo $expected | tr ' ' '\n' | sed '/^$/d' | sort | tr '\n' ' ')
  if [ "$offered" != "$want" ]; then
    echo "completing '$line': expected [$want], got [$offered]"
    failed=1
  fi
done <<< "$cases"
exit $failed
