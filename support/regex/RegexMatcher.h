#ifndef OSTREL_SUPPORT_REGEX_REGEXMATCHER_H
#define OSTREL_SUPPORT_REGEX_REGEXMATCHER_H

/// Runs a compiled RegexProgram over a byte range: whether it matches, where
/// the leftmost-longest match lies, and which bytes each group matched. The
/// program is simulated as a set of active states (no backtracking); only
/// programs with back-references fall back to a backtracking walk.

#include "support/regex/RegexProgram.h"

#include <cstddef>

/// A (start, end) pair of offsets from the text base; -1 for "none".
struct RegexMatchSlot {
  ptrdiff_t start = -1;
  ptrdiff_t end = -1;
};

/// How state sets are held. Automatic picks one machine word per set for
/// programs of up to 64 instructions and one byte per state beyond; the
/// other choice exists so the two forms can be compared.
enum class RegexStateForm { Automatic, BytePerState };

/// Matches `program` against the subject [base + startOffset, base +
/// endOffset). Fills `slotCount` slots on success: slot 0 the whole match,
/// slot i group i, (-1, -1) for a group that took no part and for slots
/// beyond the group count. Answers 0 (matched), 1 (no match), 2 (no valid
/// program), 12 (out of memory) or 16 (end before start).
int matchRegex(const RegexProgram *program, const char *base, size_t startOffset,
               size_t endOffset, size_t slotCount, RegexMatchSlot *slots,
               RegexStateForm form = RegexStateForm::Automatic);

#endif
