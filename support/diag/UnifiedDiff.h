#ifndef OSTREL_SUPPORT_DIAG_UNIFIEDDIFF_H
#define OSTREL_SUPPORT_DIAG_UNIFIEDDIFF_H

/// A unified diff of two texts, line by line, with three lines of context:
/// what a program's rewrite of a file would change, shown instead of written.

#include "support/fs/TextRef.h"

#include <string>

namespace ostrel {

/// The diff from `before` to `after` under the name `fileName`; empty when
/// the texts are equal. Large rewrites may be shown as one replaced stretch
/// rather than a minimal edit.
std::string unifiedDiff(TextRef before, TextRef after, TextRef fileName);

} // namespace ostrel

#endif
