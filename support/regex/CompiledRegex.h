#ifndef OSTREL_SUPPORT_REGEX_COMPILEDREGEX_H
#define OSTREL_SUPPORT_REGEX_COMPILEDREGEX_H

/// A compiled extended regular expression (with back-references \1-\9): the
/// one object through which the rest of the program compiles expressions,
/// searches text with them and escapes literal text. It never prints.
/// From its second search on, an object keeps what it built for the
/// expression (its automata, bounded in bytes) for the next search, so
/// repeated searches cost only the scan;
/// searching one object from two threads at once is therefore not safe
/// (Ostrel is single-threaded).

#include "support/fs/TextRef.h"

#include <memory>
#include <string>
#include <vector>

namespace ostrel {

struct RegexProgram;
struct RegexMatchSlot;
class RegexSearchCache;
enum RegexStatus : int;

class CompiledRegex {
public:
  /// Construction flags; combine with "|".
  enum Flag : unsigned {
    ignoreCase = 1,       ///< letters match both cases
    newlineSensitive = 2, ///< "." and [^...] skip line feeds; ^ and $ match at them
  };

  /// Compiles `pattern` at once (it may hold NUL bytes). Never fails as an
  /// object: an invalid expression is reported by checkValid and search.
  explicit CompiledRegex(TextRef pattern, unsigned flags = 0);
  ~CompiledRegex();
  /// Copies own their program; they never share it.
  CompiledRegex(const CompiledRegex &other);
  CompiledRegex &operator=(const CompiledRegex &other);
  CompiledRegex(CompiledRegex &&other) noexcept;
  CompiledRegex &operator=(CompiledRegex &&other) noexcept;

  /// True when the expression compiled; otherwise `errorText` receives the
  /// message (e.g. "parentheses not balanced") and the answer is false.
  bool checkValid(std::string &errorText) const;
  /// True when the expression compiled.
  bool isValid() const { return status == 0; }
  /// The compile status: regexOk or an error code (see regexErrorText).
  RegexStatus compileStatus() const { return status; }

  /// Number of parenthesised groups (meaningful for a valid expression).
  unsigned groupCount() const;

  /// True if the expression matches somewhere in `subject` (leftmost start,
  /// longest match there). With `groups`, it is refilled on success with the
  /// whole match followed by one entry per group; a group that took no part
  /// is an empty TextRef with null data, any other points into `subject`.
  /// With `errorText`, it is emptied first and receives the message when the
  /// expression is invalid or matching failed for another reason than "no
  /// match". The subject's ends are line ends for "^" and "$".
  bool search(TextRef subject, std::vector<TextRef> *groups = nullptr,
              std::string *errorText = nullptr) const;
  /// As search, finding only the whole match, which `match` receives on
  /// success: cheaper when the groups are not needed, since the match is
  /// not split among them.
  bool searchWhole(TextRef subject, TextRef &match, std::string *errorText = nullptr) const;

  /// Every length of a match that starts at offset `from` of `subject` and
  /// ends by offset `to`: bit k of `lengths` (resized to hold the longest)
  /// is set when one has length k. The subject's ends are line ends
  /// and the bytes around the match decide its anchors and word boundaries,
  /// as in a search of the whole subject. `scanned` receives how many bytes
  /// the answer took to read. False when there is none, and for an
  /// expression that is invalid or has back-references (which this does
  /// not decide) or when memory ran out.
  bool matchLengths(TextRef subject, size_t from, size_t to, std::vector<uint64_t> &lengths,
                    size_t &scanned) const;
  /// True when the expression has back-references.
  bool hasBackReferences() const;
  /// True when a match of the expression can hold a line feed.
  bool canMatchLineFeed() const;
  /// Number of instruction words of the compiled program (0 when invalid).
  size_t programSize() const;

  /// A pattern that matches `text` literally: a backslash goes in front of
  /// each of ()^$|*+?.[]\{} and of each NUL byte.
  static std::string escapeText(TextRef text);
  /// Appends what escapeText gives for `text` to `out`.
  static void appendEscaped(std::string &out, TextRef text);
  /// Appends the text that `escaped`, made by escapeText, stands for.
  static void appendUnescaped(std::string &out, TextRef escaped);

private:
  /// Matches with `slotCount` result slots into `slots`.
  bool run(TextRef subject, size_t slotCount, std::string *errorText) const;
  /// The search cache, once this is its second search.
  RegexSearchCache *cacheForSearch() const;

  std::unique_ptr<RegexProgram> program;
  RegexStatus status{};
  unsigned subExpressions = 0;
  // What searches keep for later ones; created by the second search.
  mutable std::unique_ptr<RegexSearchCache> searchCache;
  mutable bool searchedBefore = false;
  mutable std::vector<RegexMatchSlot> slots;
};

/// Length of the bracket expression that starts at text[0] == '[' (the word
/// boundaries "[[:<:]]" and "[[:>:]]" included). For an expression that is
/// not closed, the length of the whole text.
size_t bracketExpressionLength(TextRef text);

/// The message of a regex status code (compile errors, 1 for "no match",
/// 12 for "out of memory" ...); unknown codes get a fixed text.
std::string regexErrorText(int code);

} // namespace ostrel

#endif
