#ifndef OSTREL_UPDATE_SCRUBBER_H
#define OSTREL_UPDATE_SCRUBBER_H

/// A rule for text that changes from run to run (addresses, temporary paths,
/// dates, durations, or whatever a user names): where such values sit in an
/// output line, and the regular expression that a directive writes in their
/// place. Values found by rules of one name share one family of variables.

#include "support/fs/TextRef.h"
#include "support/regex/CompiledRegex.h"

#include <optional>
#include <string>
#include <vector>

namespace ostrel {

/// What may touch a value found by a rule.
enum class ValueBoundary {
  None,   ///< anything (rules given by the user)
  Word,   ///< no letter, digit or "_" directly before or after
  Digits, ///< no digit directly before or after
};

struct Scrubber {
  /// Stem of the variable names (HEX gives HEX1, HEX2, ...).
  std::string stem;
  /// Finds candidate values in a prepared output line.
  CompiledRegex finder{TextRef()};
  /// The group of the finder's match that is the value (0: the whole match).
  unsigned valueGroup = 0;
  /// The finder holds only at the start of a line: it is tried there alone.
  bool lineStart = false;
  /// A path value ends before its last component when it has more than one
  /// after the temporary folder: the folder changes, the file name must not.
  bool folderOnly = false;
  /// The expression written into a directive for a value; it matches every
  /// value the finder accepts.
  std::string written;
  /// Parenthesised groups inside `written`.
  unsigned writtenGroups = 0;
  ValueBoundary boundary = ValueBoundary::None;
  /// A bare hex value must hold a decimal digit, so that words are not taken.
  bool needsDigit = false;
  /// `written` can stand inside a variable definition ("[[NAME:...]]"); when
  /// it cannot, repeated values are each written as a plain expression.
  bool capturable = true;
  /// Equal values mean the same thing (an address, a path) and are written
  /// as a capture and its uses; equal times, dates and durations are equal
  /// by chance and are never related.
  bool relates = true;
  /// 0 for a user's rule, which applies before every built-in one; else one
  /// more than the built-in rule's place in the fixed built-in order.
  unsigned precedence = 0;
};

/// One value found in a line: [start, end) and the index of its rule.
struct ScrubSpan {
  size_t start = 0;
  size_t end = 0;
  unsigned rule = 0;
};

/// The rules that `--scrub=VALUE` stands for: a built-in name (see
/// builtInScrubberNames) or NAME=ERE. Nothing, with `error` set, when the
/// value is not acceptable, as is an expression that matches the empty text
/// (its directives would check nothing).
std::optional<std::vector<Scrubber>> parseScrubOption(TextRef value, std::string &error);

/// Puts the user's rules first and the built-in ones in their fixed order,
/// whatever the order of the command line.
void orderScrubbers(std::vector<Scrubber> &rules);

/// The names of the built-in rules, for help and messages.
TextRef builtInScrubberNames();

/// True when `expression` is what some built-in rule writes for its values.
bool isBuiltInExpression(TextRef expression);

/// Adds to `spans` every value of `rules` in `line`, in line order; a value
/// never overlaps one found before it, and earlier rules win. Linear in the
/// line's length and values (up to a logarithm).
void findScrubSpans(TextRef line, const std::vector<Scrubber> &rules,
                    std::vector<ScrubSpan> &spans);

} // namespace ostrel

#endif
