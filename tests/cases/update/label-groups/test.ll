; RUN: compile %s | ostrel %s

; CHECK-LABEL: define i32 @first(i32 %x) {
; CHECK-NEXT: old body
define i32 @first() {
  ret i32 1
}

; CHECK-LABEL: define i32 @gone(
; CHECK-NEXT: old body
define i32 @gone() {
  ret i32 2
}

; CHECK-LABEL: define i32 @last(
; CHECK: old body
define i32 @last() {
  ret i32 3
}
