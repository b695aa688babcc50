#ifndef OSTREL_SUPPORT_FS_EDITDISTANCE_H
#define OSTREL_SUPPORT_FS_EDITDISTANCE_H

/// The Levenshtein distance with a cut-off, shared by every "did you mean"
/// and "possible intended match" search of the project.

#include "support/fs/TextRef.h"

namespace ostrel {

/// Edits (insert, delete or replace one byte, each costing 1) that turn `a`
/// into `b`. Once it is certain that the distance exceeds `limit`, returns
/// limit + 1 instead of finishing, which keeps searches over many candidates
/// or long lines cheap.
unsigned editDistance(TextRef a, TextRef b, unsigned limit = ~0u - 1);

} // namespace ostrel

#endif
