#!/usr/bin/env bash
# Writes a compiler-like listing and two check files that pass over it.
# Usage: bench/make_listing.sh FUNCTIONS DIR
#   DIR/listing.ll   FUNCTIONS functions of 20 lines each (110000 give about
#                    2.2 million lines, 90 MB); every line is unique through
#                    its "; line N" comment or its function number.
#   DIR/fixed.check  fixed text only: LABEL, CHECK, NEXT, NEXT for every 44th
#                    function (10000 directives for 110000 functions).
#   DIR/mixed.check  LABEL, NOT, CHECK with a regex, string and numeric
#                    captures, NEXT using them, a DAG pair, NOT, CHECK for every
#                    88th function (10000 directives for 110000 functions).
set -eu
functions=$1
dir=$2
awk -v functions="$functions" -v listing="$dir/listing.ll" -v fixed="$dir/fixed.check" \
    -v mixed="$dir/mixed.check" 'BEGIN {
  split("add sub mul xor and or shl", ops, " ")
  line = 0
  for (f = 0; f < functions; f++) {
    printf "define i32 @func_%d(i32 %%a, i32 %%b) #%d {\n", f, f % 8 > listing
    line++
    for (i = 0; i < 17; i++) {
      line++
      op = ops[(f * 17 + i) % 7 + 1]
      operand = i == 0 ? "%a" : (i % 2 ? "%b" : "%v" (i - 1))
      text[i] = sprintf("%%v%d = %s i32 %s, %d", i, op, operand, f * 31 + i * 7)
      printf "  %s    ; line %d\n", text[i], line > listing
    }
    printf "  ret i32 %%v16\n}\n" > listing
    line += 2
    if (f % 44 == 0) {
      printf "CHECK-LABEL: define i32 @func_%d(\n", f > fixed
      for (i = 7; i < 10; i++)
        printf "CHECK%s: %s ; line %d\n", i == 7 ? "" : "-NEXT", text[i], line - 18 + i > fixed
    }
    if (f % 88 == 0) {
      printf "CHECK-LABEL: define i32 @func_%d(\n", f > mixed
      print "CHECK-NOT: fatal error" > mixed
      print "CHECK: %v2 = {{[a-z]+}} i32 [[REG:%[a-z0-9]+]], [[#K:]]" > mixed
      print "CHECK-NEXT: %v3 = {{[a-z]+}} i32 %b, {{[0-9]+}} ; line [[#L:]]" > mixed
      print "CHECK-DAG: ; line [[#L+2]]{{$}}" > mixed
      print "CHECK-DAG: %v4 = {{[a-z]+}} i32 %v3, [[#K+14]]" > mixed
      print "CHECK-NOT: error:" > mixed
      print "CHECK: ret i32 %v16" > mixed
    }
  }
}'
