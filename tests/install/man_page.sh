#!/usr/bin/env bash
# Holds a man page to its program's option table (the names file the build
# writes, one option name per line): every option the program registers is
# described in the page, and every option the page names exists. Example
# blocks (.EX to .EE) are left out, since they show other commands' options
# too. groff must find nothing to warn about.
# Usage: man_page.sh <page> <names-file>; status 77 means skipped.
set -u
page=$1
names=$2
if ! command -v groff > /dev/null; then
  echo "groff is missing: skipped"
  exit 77
fi
failed=0
warnings=$(groff -man -ww -z "$page" 2>&1)
if [ -n "$warnings" ]; then
  echo "groff -man -ww warns about $page:"
  echo "$warnings"
  failed=1
fi

# An option is a dash or two and a name, not glued to a word before it
# (CHECK-NEXT is no option); -DNAME names the option D.
named=$(sed -e '/^\.EX/,/^\.EE/d' -e '/^\.\\"/d' "$page" |
  sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' |
  grep -oE '(^|[^A-Za-z0-9_-])--?[A-Za-z][a-z0-9-]*' |
  sed -E 's/^[^-]?--?//' | sort -u)
missing=$(comm -23 <(sort -u "$names") <(echo "$named"))
unknown=$(comm -13 <(sort -u "$names") <(echo "$named"))
if [ -n "$missing" ]; then
  echo "options of the program that $page does not describe:" $missing
  failed=1
fi
if [ -n "$unknown" ]; then
  echo "options that $page names but the program lacks:" $unknown
  failed=1
fi
exit $failed
