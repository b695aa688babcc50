#ifndef OSTREL_ENGINE_CHECKSEQUENCER_H
#define OSTREL_ENGINE_CHECKSEQUENCER_H

/// Pieces of the checking algorithm (CheckEngine::verifyInput) that have
/// rules of their own: counting line breaks for the NEXT, SAME and EMPTY
/// rules, and the list of match ranges that keeps one DAG group's matches
/// apart.

#include "support/fs/TextRef.h"

#include <cstddef>
#include <vector>

/// Line breaks in a stretch, counted up to a limit.
struct LineBreakCount {
  /// At most the limit asked for.
  unsigned count = 0;
  /// Offset just after the first line break (after both characters of a
  /// CR LF or LF CR pair); meaningful when count > 0.
  size_t firstLineStart = 0;
};

/// Counts line feeds and carriage returns in `stretch`, stopping at `limit`.
/// A line feed and a carriage return next to each other, in either order,
/// are one line break; two equal ones in a row are two.
LineBreakCount countLineBreaks(TextRef stretch, unsigned limit = 2);

/// One DAG match, [start, end) as offsets into the searched region.
struct DagRange {
  size_t start = 0;
  size_t end = 0;
  bool operator==(const DagRange &) const = default;
};

/// The accepted matches of one DAG group: sorted by start, never
/// overlapping. A pattern's search walks the list from the front with a
/// cursor that only moves forward.
class DagRangeList {
public:
  /// Starts the walk of a new pattern at the first entry.
  void startWalk() { cursor = 0; }
  /// Advances the walk to the first entry that ends after `match` starts. If
  /// there is none, or it begins at or after the end of `match`, inserts
  /// `match` in front of it and answers true. Otherwise leaves the walk just
  /// past that entry, stores it in `overlapped` and answers false.
  bool tryInsert(DagRange match, DagRange &overlapped);
  /// Widens the single entry to cover `match` too (the list holds at most
  /// one entry when overlaps are allowed).
  void merge(DagRange match);

  bool empty() const { return ranges.empty(); }
  const DagRange &front() const { return ranges.front(); }
  const DagRange &back() const { return ranges.back(); }
  const std::vector<DagRange> &entries() const { return ranges; }
  void clear() { ranges.clear(); }

private:
  std::vector<DagRange> ranges;
  size_t cursor = 0;
};

#endif
