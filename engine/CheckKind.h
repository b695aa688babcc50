#ifndef OSTREL_ENGINE_CHECKKIND_H
#define OSTREL_ENGINE_CHECKKIND_H

/// The vocabulary of directives: what kind of directive introduced a pattern,
/// how many times it must match, its modifiers, and the name by which every
/// message calls it. Tested by CheckKind_test.cpp.

#include "support/fs/TextRef.h"

#include <cstdint>
#include <string>

namespace ostrel {

/// Directive types. The numbering is fixed: the input dump and the match
/// records store it.
enum class DirectiveType : uint8_t {
  Invalid = 0,     ///< no directive at this prefix occurrence
  Misspelled = 1,  ///< "_" where "-" belongs, e.g. CHECK_NEXT:
  Plain = 2,       ///< CHECK: or CHECK-COUNT-n:
  Next = 3,        ///< CHECK-NEXT:
  Same = 4,        ///< CHECK-SAME:
  Not = 5,         ///< CHECK-NOT:
  Dag = 6,         ///< CHECK-DAG:
  Label = 7,       ///< CHECK-LABEL:
  Empty = 8,       ///< CHECK-EMPTY:
  Comment = 9,     ///< a comment prefix and a colon
  ImplicitEof = 10, ///< the end-of-input step made by the reader
  BadNot = 11,     ///< an unsupported combination with -NOT
  BadCount = 12,   ///< CHECK-COUNT- with a bad number
};

/// A directive's type, repetition count and modifier bits; a small value.
struct CheckKind {
  /// Modifier bit set by {LITERAL}: the pattern text is matched as written.
  static constexpr uint32_t literalModifier = 1u << 0;

  DirectiveType type = DirectiveType::Invalid;
  /// 1 except for CHECK-COUNT-n, where it is n (1 to 2147483647).
  int32_t count = 1;
  uint32_t modifiers = 0;

  constexpr CheckKind() = default;
  constexpr CheckKind(DirectiveType type, int32_t count = 1, uint32_t modifiers = 0)
      : type(type), count(count), modifiers(modifiers) {}

  constexpr bool literal() const { return (modifiers & literalModifier) != 0; }
  constexpr void setLiteral() { modifiers |= literalModifier; }

  friend constexpr bool operator==(const CheckKind &, const CheckKind &) = default;
};

/// The name of a directive of `kind` introduced by `prefix`, as used in every
/// match message: CHECK, CHECK-COUNT, CHECK-NEXT{LITERAL}, "implicit EOF", ...
std::string description(CheckKind kind, TextRef prefix);

} // namespace ostrel

#endif
