#ifndef OSTREL_SUPPORT_REGEX_REGEXMATCHER_H
#define OSTREL_SUPPORT_REGEX_REGEXMATCHER_H

/// Runs a compiled RegexProgram over a byte range: whether it matches, where
/// the leftmost-longest match lies, and which bytes each group matched.
///
/// Which strategy runs when (one file each):
/// - RegexMatcher.cpp: the search itself. A required literal is looked for
///   first; when no instruction can consume a line feed, every match lies
///   within one line, so only lines holding the literal are searched.
/// - RegexCachedAutomaton.cpp: scans for the first match end and for the
///   longest match from a start, with state sets and their transitions cached
///   (a lazily built deterministic automaton). Used for every range once a
///   RegexSearchCache holds the automaton, else for ranges of 256 bytes on.
/// - RegexStateStepping.cpp: the same scans stepping a set of active states
///   byte by byte; used for short ranges without a search cache, for
///   programs too large to cache, and to fill the cache's transitions.
/// - RegexGroupSplit.cpp: splits a known match among the groups, only when
///   group results are asked for.
/// - RegexBackrefWalk.cpp: a backtracking walk that decides programs with
///   back-references exactly; the state sets only find candidates for it.

#include "support/regex/RegexCompiler.h"
#include "support/regex/RegexProgram.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace ostrel {

/// A (start, end) pair of offsets from the text base; -1 for "none".
struct RegexMatchSlot {
  ptrdiff_t start = -1;
  ptrdiff_t end = -1;
};

/// How state sets are held. Automatic picks one machine word per set for
/// programs of up to 64 instructions and one byte per state beyond; the
/// other choice exists so the two forms can be compared.
enum class RegexStateForm { Automatic, BytePerState };

class RegexSearchMachine;

/// What searches with one program can share: its cached automata (bounded
/// in bytes) and the facts derived from the program. It belongs to one
/// program and is not safe to share between threads.
class RegexSearchCache {
public:
  RegexSearchCache();
  ~RegexSearchCache();
  RegexSearchCache(const RegexSearchCache &) = delete;
  RegexSearchCache &operator=(const RegexSearchCache &) = delete;

private:
  friend RegexStatus matchRegex(const RegexProgram *, const char *, size_t, size_t, size_t,
                                RegexMatchSlot *, RegexStateForm, RegexSearchCache *);
  friend RegexStatus matchRegexLengths(const RegexProgram *, const char *, const char *, size_t,
                                       size_t, std::vector<uint64_t> &, size_t &,
                                       RegexSearchCache *);
  std::unique_ptr<RegexSearchMachine> machine;
};

/// Matches `program` against the subject [base + startOffset, base +
/// endOffset). Fills `slotCount` slots on success: slot 0 the whole match,
/// slot i group i, (-1, -1) for a group that took no part and for slots
/// beyond the group count. Answers regexOk, regexNoMatch, regexBadPattern (no
/// valid program), regexOutOfMemory or regexBadArgument (end before start).
/// With `cache` (always used with the same program), the set-up is done once
/// and kept there for later searches.
RegexStatus matchRegex(const RegexProgram *program, const char *base, size_t startOffset,
                       size_t endOffset, size_t slotCount, RegexMatchSlot *slots,
                       RegexStateForm form = RegexStateForm::Automatic,
                       RegexSearchCache *cache = nullptr);

/// Every length of a match of `program` (which has no back-references) that
/// starts at offset `from` of the subject [begin, end) and ends by offset
/// `to`: bit k of `lengths` (resized to hold the longest) is set when one
/// has length k. The subject's ends are line ends for "^" and "$", and
/// the bytes around a match decide its anchors and word boundaries, as in a
/// search of the whole subject. `scanned` receives how many bytes from `from`
/// were read before no longer match could follow. Answers regexOk when a
/// match exists, regexNoMatch when none does, regexBadPattern,
/// regexBadArgument (back-references, or offsets out of order) or
/// regexOutOfMemory.
RegexStatus matchRegexLengths(const RegexProgram *program, const char *begin, const char *end,
                              size_t from, size_t to, std::vector<uint64_t> &lengths,
                              size_t &scanned, RegexSearchCache *cache = nullptr);

} // namespace ostrel

#endif
