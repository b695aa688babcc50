#!/usr/bin/env bash
# make install and make uninstall with PREFIX, the install manifest, an
# install that is moved elsewhere (nothing may point back into the build
# tree: the program, the man page and the bash completion are found from the
# new place), and an install into a prefix that cannot be created.
# Usage: install.sh <source-dir> <build-dir>; status 77 means skipped.
set -u
source_dir=$(realpath "$1")
build=$(realpath "$2")
work=$(mktemp -d)
source "$(dirname "$0")/keep_manifest.sh"
failed=0
fail() { echo "$*"; failed=1; }

expected_files='bin/ostrel
bin/ostrel-run
lib/cmake/Ostrel/OstrelAddSuite.cmake
lib/cmake/Ostrel/OstrelAddTest.cmake
lib/cmake/Ostrel/OstrelConfig.cmake
lib/cmake/Ostrel/OstrelConfigVersion.cmake
lib/cmake/Ostrel/OstrelRunTest.cmake
lib/cmake/Ostrel/OstrelTargets.cmake
share/bash-completion/completions/ostrel
share/bash-completion/completions/ostrel-run
share/man/man1/ostrel.1
share/man/man1/ostrel-run.1'

# The Makefile's rules work on a Ninja build folder; with another one only
# cmake --install is tried.
if [ -f "$build/build.ninja" ]; then
  make -s -C "$source_dir" install PREFIX="$work/made" BUILD="$build" > "$work/make.log" 2>&1 ||
    fail "make install failed: $(cat "$work/make.log")"
  installed=$(cd "$work/made" && find . -type f | sed 's|^\./||' | sort)
  for file in $expected_files; do
    [[ $installed == *"$file"* ]] || fail "make install did not install $file"
  done
  listed=$(sed "s|^$work/made/||" "$build/install_manifest.txt" | sort)
  [ "$listed" = "$installed" ] ||
    fail "the install manifest lists [$listed], but the prefix holds [$installed]"
  make -s -C "$source_dir" uninstall BUILD="$build" > "$work/make.log" 2>&1 ||
    fail "make uninstall failed: $(cat "$work/make.log")"
  left=$(find "$work/made" -type f)
  [ -z "$left" ] || fail "make uninstall left: $left"
fi

cmake --install "$build" --prefix "$work/stage" > "$work/install.log" 2>&1 ||
  fail "cmake --install failed: $(cat "$work/install.log")"
text_files=$(grep -rIl -- "$build" "$work/stage")
[ -z "$text_files" ] || fail "installed files name the build tree: $text_files"
mv "$work/stage" "$work/moved"
prefix=$work/moved

printf 'CHECK: hello\n' > "$work/hello.check"
for input in hello:0 goodbye:1; do
  status=$(cd / && printf '%s\n' "${input%:*}" | "$prefix/bin/ostrel" "$work/hello.check" 2> /dev/null; echo $?)
  [ "$status" = "${input#*:}" ] ||
    fail "the moved program checked '${input%:*}' with status $status, expected ${input#*:}"
done
if command -v man > /dev/null; then
  page=$(MANPATH="$prefix/share/man" man -w ostrel 2>&1)
  [ "$page" = "$prefix/share/man/man1/ostrel.1" ] || fail "man -w ostrel found: $page"
fi
# bash-completion loads a command's completion on demand from the
# completions folder of each XDG data folder.
loader=/usr/share/bash-completion/bash_completion
if [ -f "$loader" ]; then
  registration=$(XDG_DATA_DIRS="$prefix/share" bash -c \
    'source "$1" && __load_completion ostrel && complete -p ostrel' load "$loader" 2>&1)
  [[ $registration == *"-F _ostrel_complete ostrel"* ]] ||
    fail "bash-completion did not load the installed completion: $registration"
fi

# A prefix below a regular file cannot be made, not even by root.
touch "$work/file"
manifest_before=$(cat "$build/install_manifest.txt" 2> /dev/null)
output=$(cmake --install "$build" --prefix "$work/file/prefix" 2>&1) &&
  fail "installing below a regular file succeeded"
[[ $output == *"$work/file/prefix"* ]] ||
  fail "installing below a regular file did not name the place: $output"
[ "$(cat "$build/install_manifest.txt" 2> /dev/null)" = "$manifest_before" ] ||
  fail "the failed install changed the install manifest"
exit $failed
