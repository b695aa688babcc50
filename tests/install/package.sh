#!/usr/bin/env bash
# The Debian package: CPack makes ostrel_<version>_<arch>.deb from the build
# folder; dpkg-deb lists the program, the man page, the completion and the
# CMake package in it; unpacked into a temporary root with dpkg -x, the
# program runs from there.
# Usage: package.sh <build-dir>; status 77 means skipped.
set -u
build=$(realpath "$1")
work=$(mktemp -d)
source "$(dirname "$0")/keep_manifest.sh"
for tool in cpack dpkg-deb dpkg dpkg-shlibdeps; do
  command -v $tool > /dev/null || { echo "$tool is missing: skipped"; exit 77; }
done
failed=0
fail() { echo "$*"; failed=1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
package=$work/out/ostrel_${version}_$(dpkg --print-architecture).deb
[ -f "$package" ] || { echo "no $package; made: $(ls "$work/out")"; exit 1; }

contents=$(dpkg-deb -c "$package")
for file in ./usr/bin/ostrel ./usr/share/man/man1/ostrel.1 \
    ./usr/share/bash-completion/completions/ostrel ./usr/lib/cmake/Ostrel/OstrelConfig.cmake; do
  [[ $contents == *" $file"* ]] || fail "the package lacks $file"
done
depends=$(dpkg-deb -f "$package" Depends)
[[ $depends == *libc6* ]] || fail "the package depends on [$depends], not on the C library"

dpkg -x "$package" "$work/root"
printf 'CHECK: hello\n' > "$work/hello.check"
for input in hello:0 goodbye:1; do
  status=$(printf '%s\n' "${input%:*}" | "$work/root/usr/bin/ostrel" "$work/hello.check" 2> /dev/null; echo $?)
  [ "$status" = "${input#*:}" ] ||
    fail "the unpacked program checked '${input%:*}' with status $status, expected ${input#*:}"
done
exit $failed
