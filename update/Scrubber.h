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
};

/// One value found in a line: [start, end) and the index of its rule.
struct ScrubSpan {
  size_t start = 0;
  size_t end = 0;
  unsigned rule = 0;
};

/// The rules that `--scrub=VALUE` stands for: a built-in name (hex, tmp,
/// date, time, duration) or NAME=ERE. Nothing, with `error` set, when the
/// value is not acceptable.
std::optional<std::vector<Scrubber>> parseScrubOption(TextRef value, std::string &error);

/// The names of the built-in rules, for help and messages.
TextRef builtInScrubberNames();

/// Adds to `spans` every value of `rules` in `line`, in line order; a value
/// never overlaps one found before it, and earlier rules win.
void findScrubSpans(TextRef line, const std::vector<Scrubber> &rules,
                    std::vector<ScrubSpan> &spans);

#endif
