#ifndef OSTREL_SUPPORT_DIAG_PLACEHOLDERFORMAT_H
#define OSTREL_SUPPORT_DIAG_PLACEHOLDERFORMAT_H

/// Message templates with numbered placeholders: "{0} and {1,-8:x}" writes
/// its arguments, each in its own style and padded to a width, into the text
/// around them.

#include "support/fs/TextRef.h"

#include <cstdint>
#include <initializer_list>
#include <string>

namespace ostrel {

class OutputStream;

/// One argument of formatPlaceholders: a text or an integer.
class FormatArgument {
public:
  FormatArgument(TextRef text) : kind_(Kind::Text), text_(text) {}
  FormatArgument(const char *text) : kind_(Kind::Text), text_(text) {}
  FormatArgument(const std::string &text) : kind_(Kind::Text), text_(text) {}
  FormatArgument(int v) : kind_(Kind::Signed), signed_(v) {}
  FormatArgument(long v) : kind_(Kind::Signed), signed_(v) {}
  FormatArgument(long long v) : kind_(Kind::Signed), signed_(v) {}
  FormatArgument(unsigned v) : kind_(Kind::Unsigned), unsigned_(v) {}
  FormatArgument(unsigned long v) : kind_(Kind::Unsigned), unsigned_(v) {}
  FormatArgument(unsigned long long v) : kind_(Kind::Unsigned), unsigned_(v) {}

  /// Writes the argument with its style options (the text after ":"): a
  /// maximum length for a text; for an integer "x-", "X-", "x+", "X+", "x" or
  /// "X" and a digit count for hex, "N" for grouped or "D" for plain decimal
  /// and a minimum digit count.
  void format(OutputStream &os, TextRef style) const;

private:
  enum class Kind { Text, Signed, Unsigned };
  Kind kind_;
  TextRef text_;
  int64_t signed_ = 0;
  uint64_t unsigned_ = 0;
};

/// Writes `pattern` with "{index[,[fill]align width][:style]}" placeholders
/// replaced by the arguments (align "-" left, "=" centre, "+" right); "{{"
/// writes one brace. A placeholder that cannot be read is dropped; one whose
/// index has no argument is written as its own inner text.
OutputStream &formatPlaceholders(OutputStream &os, TextRef pattern,
                                 std::initializer_list<FormatArgument> args);

} // namespace ostrel

#endif
