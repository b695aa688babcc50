#!/usr/bin/env bash
# The static build: ldd finds nothing but the C library and the loader, and
# the program runs in a bare root that holds only itself, those two and a
# check (no terminfo database): on a terminal it then shows colours only
# when asked to. Outside that root the same program finds the system's
# terminal descriptions and shows colours on its own.
# Usage: static.sh <static-program>; status 77 means skipped.
set -u
program=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
command -v ldd > /dev/null || { echo "ldd is missing: skipped"; exit 77; }
failed=0

libraries=$(ldd "$program" | awk '{print $1}')
others=$(echo "$libraries" | grep -vE '^(linux-vdso\.so|linux-gate\.so|libc\.so|/.*ld-linux)')
if [ -n "$others" ]; then
  echo "the static program loads more than the C library:" $others
  failed=1
fi

root=$work/root
mkdir -p "$root"
cp "$program" "$root/ostrel"
for library in $(ldd "$program" | grep -oE '/[^ ]+'); do
  mkdir -p "$root$(dirname "$library")"
  cp "$library" "$root$library"
done
printf 'CHECK: hello\n' > "$root/c.check"
printf 'goodbye\n' > "$root/input"
if ! chroot "$root" /ostrel --version > /dev/null 2>&1; then
  echo "cannot run a program in a bare root here (chroot needs root): skipped"
  exit $((failed ? 1 : 77))
fi
if ! command -v script > /dev/null; then
  echo "script (util-linux) is missing: skipped the terminal cases"
  exit $failed
fi

# where | arguments | whether colour escapes are expected
cases="
bare root|--dump-input=never|no
bare root|--dump-input=never --color|yes
system|--dump-input=never|yes
"
while IFS='|' read -r where args colours; do
  [ -n "$where" ] || continue
  if [ "$where" = system ]; then
    command="$root/ostrel $root/c.check --input-file $root/input $args"
  else
    command="chroot $root /ostrel /c.check --input-file /input $args"
  fi
  # script gives the program a terminal; its status is the program's.
  output=$(env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin TERM=xterm \
    script -qec "$command" /dev/null 2>&1)
  status=$?
  if [ "$status" != 1 ] || [[ $output != *"expected string not found"* ]]; then
    echo "$where, $args: expected the failed check (status 1), got status $status:"
    echo "$output"
    failed=1
  fi
  shown=no
  [[ $output == *$'\e['* ]] && shown=yes
  if [ "$shown" != "$colours" ]; then
    echo "$where, $args: colour escapes expected: $colours, shown: $shown"
    failed=1
  fi
done <<< "$cases"
exit $failed
