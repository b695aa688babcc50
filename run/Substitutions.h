#ifndef OSTREL_RUN_SUBSTITUTIONS_H
#define OSTREL_RUN_SUBSTITUTIONS_H

/// The names a RUN command may use (%s, %S, %t, %T, %%, and a suite's own,
/// such as %cc) and what each stands for. At each place the longest name
/// that fits is replaced; the replacement is not searched again.

#include "support/fs/TextRef.h"

#include <string>
#include <utility>
#include <vector>

namespace ostrel {

/// `text` as one shell word: unchanged when it holds only characters that
/// no shell treats specially, otherwise in single quotes.
std::string shellQuote(TextRef text);

class Substitutions {
public:
  /// Adds or replaces `name`.
  void set(std::string name, std::string value);
  /// Replaces every name in `command`.
  std::string apply(TextRef command) const;

private:
  /// Longest name first.
  std::vector<std::pair<std::string, std::string>> entries_;
};

} // namespace ostrel

#endif
