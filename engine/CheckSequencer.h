#ifndef OSTREL_ENGINE_CHECKSEQUENCER_H
#define OSTREL_ENGINE_CHECKSEQUENCER_H

/// The checking algorithm (CheckEngine::verifyInput): the sequencer that runs
/// the steps over the input, and the pieces with rules of their own, the
/// count of line breaks for the NEXT, SAME and EMPTY rules and the list of
/// match ranges that keeps one DAG group's matches apart. Tested by
/// CheckSequencer_test.cpp.

#include "engine/CheckEngine.h"
#include "engine/CheckOptions.h"
#include "engine/CheckStep.h"
#include "engine/DiagnosticSink.h"
#include "engine/FixedTextSearch.h"
#include "engine/MatchDiag.h"
#include "engine/MatchReporter.h"
#include "engine/StepFeed.h"
#include "support/diag/ErrorValue.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/TextRef.h"

#include <cstddef>
#include <map>
#include <optional>
#include <unordered_map>
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

/// The checking of one engine run (CheckEngine::verifyInput): runs the steps
/// over the input, labels first, and reports each outcome.
class CheckSequencer {
public:
  using DiagList = std::vector<MatchDiag>;
  using NotList = std::vector<const CheckPattern *>;

  /// Reports go to `sink`, records to `diagList` when given; all outlive the
  /// sequencer.
  CheckSequencer(const CheckOptions &options, SourceRegistry &registry, DiagnosticSink &sink,
                 DiagList *diagList, CheckEngine::RecordUse recordUse);

  /// Runs the steps of `feed` over `input`, the labels first to divide it
  /// into blocks. Only the steps from the first unrun one to the next label
  /// are asked for at a time, and each is released once run. Answers an
  /// AlreadyReportedError when a step failed.
  ErrorValue verifySteps(StepFeed &feed, TextRef input);
  /// Completes the record list of a failed run with the records of the
  /// deferred DAG searches.
  void recordDeferredSearches();
  /// Whether records wait for the end of the run, with pointers to the
  /// steps they are about.
  bool defersRecords() const { return deferRecords; }

private:
  /// How much of a step to run: only its positive pattern, to find where a
  /// LABEL divides the input, or the whole step.
  enum class StepScope { LabelOnly, Whole };

  /// A DAG pattern resumed after an earlier match of its text, whose -vv
  /// records were left out of the list: they are made only when the run fails,
  /// by searching again as the pattern would have without resuming.
  struct DeferredDagSearch {
    /// Where in the record list its records belong.
    size_t recordsAt = 0;
    const CheckStep *step = nullptr;
    const CheckPattern *pattern = nullptr;
    TextRef region;
    size_t groupStart = 0;
    /// Its group in acceptedGroups, and how many of the group's
    /// matches had been accepted before it.
    size_t group = 0;
    size_t acceptedBefore = 0;
  };

  /// The DAG group being matched.
  struct DagGroup {
    /// Where its matches may start: the end of the previous group's last.
    size_t start = 0;
    /// The index of its first pattern in the step, and where each of its
    /// patterns searched ahead first occurs.
    size_t firstIndex = 0;
    std::vector<size_t> firstFound;
    DagRangeList matchRanges;
    /// For each fixed text accepted in the group, the end of its last match.
    std::unordered_map<TextRef, size_t> acceptedEnd;
  };

  /// Runs `step` on `region`: the offset of its match, whose length goes to
  /// `matchLen`, or nothing when the step failed (and was reported).
  std::optional<size_t> run(const CheckStep &step, TextRef region, StepScope scope,
                            size_t &matchLen);
  /// Reports `result`; true when that reported a failure.
  bool reportFailed(const SearchReport &search, SearchResult result);
  /// Runs the DAG groups of `step` and the NOT patterns before each; the
  /// NOT patterns after the last group are left in `notList`. Answers where
  /// the last group ended, or nothing on failure.
  std::optional<size_t> runDagGroups(const CheckStep &step, TextRef region, NotList &notList);
  /// Searches ahead for the DAG patterns from `index` on, up to the next NOT.
  void startDagGroup(const std::vector<CheckPattern> &patterns, size_t index, TextRef region,
                     DagGroup &group);
  /// Finds and reports the match of the group's pattern number `index`;
  /// false on failure.
  bool acceptDagPattern(const CheckStep &step, const CheckPattern &pattern, size_t index,
                        TextRef region, DagGroup &group);
  /// Runs `notList` before the group's first match and moves past the group.
  bool finishDagGroup(const CheckStep &step, TextRef region, NotList &notList, DagGroup &group);
  /// The first match of a DAG pattern at or after `from` that overlaps no
  /// earlier match of its group, entered into `matchRanges`.
  /// `firstFound`, when given, is where the pattern (searched as fixed
  /// text) first occurs at or after `from`, found ahead.
  std::optional<DagRange> matchDagPattern(const CheckStep &step, const CheckPattern &pattern,
                                          TextRef region, size_t from, DagRangeList &matchRanges,
                                          std::optional<size_t> firstFound);
  bool runNotPatterns(const CheckStep &step, TextRef stretch, const NotList &notList);
  void recordWrongLine(const CheckStep &step, TextRef region, size_t first, size_t matchLen);
  /// Patterns searched as fixed text, whose search has no side effects and
  /// so may be done ahead, together with others.
  bool searchesAhead(const CheckPattern &pattern) const {
    return !pattern.fixedText.empty() && pattern.ignoreCase == options.ignoreCase;
  }
  /// The first occurrences in `range` of those among `patterns` that are
  /// searched ahead (npos for the others).
  std::vector<size_t> searchAhead(const std::vector<const CheckPattern *> &patterns,
                                  TextRef range);
  /// Makes the set of the command-line NOT patterns of `list` once.
  void prepareImplicitSet(const std::vector<CheckPattern> &list);

  const CheckOptions &options;
  SourceRegistry &registry;
  DiagnosticSink &sink;
  DiagList *diagList;
  MatchReporter reporter;
  /// The command-line NOT patterns as one set, made once: every step has
  /// them, and a large set costs more to make than one stretch to search.
  const std::vector<CheckPattern> *implicitList = nullptr;
  std::optional<FixedTextSet> implicitSet;
  /// For each pattern of the list, its member number in the set, or npos.
  std::vector<size_t> implicitMember;
  /// -vv records go to a list that is printed only if the run fails: the
  /// records of resumed DAG searches wait for that. Each of them would
  /// record every earlier match of its text in the group, which makes a
  /// group of n equal patterns cost n * n / 2 searches.
  const bool deferRecords;
  /// A fixed text matched again in the same group cannot match before the
  /// end of its previous accepted match: every earlier occurrence overlaps an
  /// accepted match, and accepted matches stay. Without -vv the searches in
  /// between are not reported (or their records are deferred), so they are
  /// skipped.
  const bool resumeDagSearches;
  std::vector<DeferredDagSearch> deferred;
  /// The accepted matches of the DAG groups that have deferred searches, in
  /// order of acceptance; the last one is the current group's.
  std::vector<std::vector<DagRange>> acceptedGroups;
};

} // namespace ostrel

#endif
