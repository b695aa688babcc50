#ifndef OSTREL_ENGINE_CHECKSEQUENCER_H
#define OSTREL_ENGINE_CHECKSEQUENCER_H

/// Pieces of the checking algorithm (CheckEngine::verifyInput) that have
/// rules of their own: counting line breaks for the NEXT, SAME and EMPTY
/// rules, and the list of match ranges that keeps one DAG group's matches
/// apart.

#include "support/fs/TextRef.h"

#include <cstddef>
#include <map>
#include <vector>

namespace ostrel {

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
/// overlapping (empty matches may touch), so their ends are sorted too. A
/// group may hold tens of thousands of matches in any order of arrival, so
/// finding the place of a match and inserting it cost logarithmic time.
class DagRangeList {
public:
  /// Finds the first entry that ends after `match` starts. If there is none,
  /// or it begins at or after the end of `match`, inserts `match` in front
  /// of it and answers true. Otherwise stores that entry in `overlapped` and
  /// answers false.
  bool tryInsert(DagRange match, DagRange &overlapped);
  /// Widens the single entry to cover `match` too (the list holds at most
  /// one entry when overlaps are allowed).
  void merge(DagRange match);

  bool empty() const { return byEnd.empty(); }
  DagRange front() const { return {byEnd.begin()->second, byEnd.begin()->first}; }
  DagRange back() const { return {byEnd.rbegin()->second, byEnd.rbegin()->first}; }
  /// The entries in order.
  std::vector<DagRange> entries() const;
  void clear() { byEnd.clear(); }

private:
  /// End to start; entries with equal ends keep their order of insertion
  /// relative to the place each was inserted at.
  std::multimap<size_t, size_t> byEnd;
};

} // namespace ostrel

#endif
