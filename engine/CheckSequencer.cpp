#include "engine/CheckSequencer.h"

#include "engine/CheckEngine.h"
#include "engine/CheckFileReader.h"
#include "engine/DiagnosticSink.h"
#include "engine/FixedTextSet.h"
#include "engine/MatchDiag.h"
#include "engine/MatchReporter.h"
#include "engine/numeric/EngineErrors.h"
#include "engine/PatternMatcher.h"
#include "engine/StepFeed.h"
#include "engine/numeric/VariableContext.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

namespace ostrel {

LineBreakCount countLineBreaks(TextRef stretch, unsigned limit) {
  LineBreakCount result;
  size_t i = 0;
  while (result.count < limit) {
    while (i < stretch.size() && stretch[i] != '\n' && stretch[i] != '\r')
      ++i;
    if (i == stretch.size())
      break;
    char first = stretch[i++];
    char partner = first == '\n' ? '\r' : '\n';
    if (i < stretch.size() && stretch[i] == partner)
      ++i;
    if (result.count++ == 0)
      result.firstLineStart = i;
  }
  return result;
}

bool DagRangeList::tryInsert(DagRange match, DagRange &overlapped) {
  auto first = byEnd.upper_bound(match.start);
  if (first == byEnd.end() || first->second >= match.end) {
    // Every entry before `first` ends at or before the match starts, and
    // `first` ends at or after the match ends: the order by end holds.
    byEnd.emplace_hint(first, match.end, match.start);
    return true;
  }
  overlapped = {first->second, first->first};
  return false;
}

void DagRangeList::merge(DagRange match) {
  if (!byEnd.empty()) {
    DagRange single = front();
    match = {std::min(single.start, match.start), std::max(single.end, match.end)};
    byEnd.clear();
  }
  byEnd.emplace(match.end, match.start);
}

std::vector<DagRange> DagRangeList::entries() const {
  std::vector<DagRange> list;
  for (auto [end, start] : byEnd)
    list.push_back({start, end});
  return list;
}

namespace {

using DiagList = std::vector<MatchDiag>;
using NotList = std::vector<const CheckPattern *>;

/// Gives every record at the end of the list that is about the same
/// directive as the last one a new outcome, looking no further back than
/// `from`: a caller that knows the records before it already carry the
/// outcome saves walking them again.
void retagTrailingRecords(DiagList &diagList, MatchOutcome outcome, size_t from = 0) {
  if (diagList.size() <= from)
    return;
  SourceLocation about = diagList.back().checkLocation;
  for (size_t i = diagList.size(); i > from && diagList[i - 1].checkLocation == about; --i)
    diagList[i - 1].outcome = outcome;
}

/// Fewer fixed texts than this are searched for one by one: a single text is
/// found with a vector scan many times faster than the one pass of a set.
constexpr size_t fixedTextSetMinimum = 8;

/// Where each of `patterns` (plain-text ones) first occurs in `range`: in one
/// pass when they are many.
std::vector<size_t> firstOccurrences(const std::vector<const CheckPattern *> &patterns,
                                     TextRef range, bool ignoreCase) {
  std::vector<size_t> found;
  if (patterns.size() < fixedTextSetMinimum) {
    for (const CheckPattern *pattern : patterns)
      found.push_back(findFixedText(range, pattern->fixedText, pattern->ignoreCase));
    return found;
  }
  std::vector<TextRef> texts;
  for (const CheckPattern *pattern : patterns)
    texts.push_back(pattern->fixedText);
  return FixedTextSet(texts, ignoreCase).firstOccurrences(range);
}

/// The two notes every line-rule failure carries after its error.
void reportLineRuleNotes(SourceRegistry &registry, DiagnosticSink &sink, TextRef stretch) {
  sink.report(registry, stretch.data() + stretch.size(), DiagSeverity::Note,
              "'next' match was here");
  sink.report(registry, stretch.data(), DiagSeverity::Note, "previous match ended here");
}

/// NEXT and EMPTY: the match must be on the line right after the previous
/// match. Answers true on failure, which has been reported.
bool verifyNextLine(const CheckStep &step, SourceRegistry &registry, DiagnosticSink &sink,
                    TextRef stretch) {
  DirectiveType type = step.pattern.kind.type;
  if (type != DirectiveType::Next && type != DirectiveType::Empty)
    return false;
  std::string directive =
      std::string(step.prefix) + (type == DirectiveType::Next ? "-NEXT" : "-EMPTY");
  LineBreakCount breaks = countLineBreaks(stretch);
  if (breaks.count == 1)
    return false;
  if (breaks.count == 0) {
    sink.report(registry, step.location, DiagSeverity::Error,
                directive + ": is on the same line as previous match");
    reportLineRuleNotes(registry, sink, stretch);
    return true;
  }
  sink.report(registry, step.location, DiagSeverity::Error,
              directive + ": is not on the line after the previous match");
  reportLineRuleNotes(registry, sink, stretch);
  sink.report(registry, stretch.data() + breaks.firstLineStart, DiagSeverity::Note,
              "non-matching line after previous match is here");
  return true;
}

/// SAME: the match must be on the line where the previous match ended.
bool verifySameLine(const CheckStep &step, SourceRegistry &registry, DiagnosticSink &sink,
                    TextRef stretch) {
  if (step.pattern.kind.type != DirectiveType::Same)
    return false;
  if (countLineBreaks(stretch, 1).count == 0)
    return false;
  sink.report(registry, step.location, DiagSeverity::Error,
              std::string(step.prefix) + "-SAME: is not on the same line as the previous match");
  reportLineRuleNotes(registry, sink, stretch);
  return true;
}

/// The first match of a fixed-text DAG pattern at or after `from` that
/// overlaps no earlier match of its group, entered into `matchRanges`, found
/// without reporting any search; nothing when there is none.
std::optional<DagRange> acceptFixedText(const CheckPattern &pattern, TextRef region, size_t from,
                                        DagRangeList &matchRanges) {
  for (;;) {
    size_t pos = findFixedText(region.substr(from), pattern.fixedText, pattern.ignoreCase);
    if (pos == TextRef::npos)
      return std::nullopt;
    DagRange match{from + pos, from + pos + pattern.fixedText.size()};
    DagRange overlapped;
    if (matchRanges.tryInsert(match, overlapped))
      return match;
    from = overlapped.end;
  }
}

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
  /// Its group in Sequencer::acceptedGroups, and how many of the group's
  /// matches had been accepted before it.
  size_t group = 0;
  size_t acceptedBefore = 0;
};

/// The checking of one engine run: the options, where the reports and the
/// records go.
class Sequencer {
public:
  Sequencer(const CheckOptions &options, SourceRegistry &registry, DiagnosticSink &sink,
            DiagList *diagList, CheckEngine::RecordUse recordUse)
      : options(options), registry(registry), sink(sink), diagList(diagList),
        reporter(registry, sink, options, diagList),
        deferRecords(diagList && options.veryVerbose && !options.allowDeprecatedDagOverlap &&
                     recordUse == CheckEngine::RecordUse::FailedRunOnly) {}

  /// Runs `step` on `region`: the offset of its match, whose length goes to
  /// `matchLen`, or nothing when the step failed (and was reported).
  std::optional<size_t> run(const CheckStep &step, TextRef region, StepScope scope,
                            size_t &matchLen);
  /// Completes the record list of a failed run with the records of the
  /// deferred DAG searches.
  void recordDeferredSearches();
  /// Whether records wait for the end of the run, with pointers to the
  /// steps they are about.
  bool defersRecords() const { return deferRecords; }

private:
  /// Reports `result`; true when that reported a failure.
  bool reportFailed(const SearchReport &search, SearchResult result);
  std::optional<size_t> runDagGroups(const CheckStep &step, TextRef region, NotList &notList);
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
  bool deferRecords;
  std::vector<DeferredDagSearch> deferred;
  /// The accepted matches of the DAG groups that have deferred searches, in
  /// order of acceptance; the last one is the current group's.
  std::vector<std::vector<DagRange>> acceptedGroups;
};

bool Sequencer::reportFailed(const SearchReport &search, SearchResult result) {
  ErrorValue reported = reporter.reportOutcome(search, std::move(result));
  if (!reported)
    return false;
  ErrorValue rest = handleByKind(std::move(reported), [](const AlreadyReportedError &) {});
  sink.reportErrors(std::move(rest));
  return true;
}

std::optional<size_t> Sequencer::run(const CheckStep &step, TextRef region, StepScope scope,
                                     size_t &matchLen) {
  const CheckPattern &pattern = step.pattern;
  size_t groupStart = 0;
  NotList notList;
  if (scope == StepScope::Whole) {
    std::optional<size_t> dagEnd = runDagGroups(step, region, notList);
    if (!dagEnd)
      return std::nullopt;
    groupStart = *dagEnd;
  }

  size_t end = groupStart;
  size_t first = groupStart;
  // The count may be the largest int: stop before the counter would pass it.
  for (int repetition = 1;; ++repetition) {
    TextRef searched = region.substr(end);
    SearchResult result = pattern.match(searched, registry);
    size_t pos = result.pos;
    size_t len = result.len;
    if (reportFailed({.pattern = pattern,
                      .prefix = step.prefix,
                      .location = step.location,
                      .matchedCount = repetition,
                      .searched = searched},
                     std::move(result)))
      return std::nullopt;
    if (repetition == 1)
      first = end + pos;
    end += pos + len;
    if (repetition >= pattern.kind.count)
      break;
  }
  matchLen = end - first;
  if (scope == StepScope::LabelOnly)
    return first;

  TextRef skipped = region.substr(groupStart, first - groupStart);
  if (verifyNextLine(step, registry, sink, skipped) ||
      verifySameLine(step, registry, sink, skipped)) {
    recordWrongLine(step, region, first, matchLen);
    return std::nullopt;
  }
  if (runNotPatterns(step, skipped, notList))
    return std::nullopt;
  return first;
}

void Sequencer::recordWrongLine(const CheckStep &step, TextRef region, size_t first,
                                size_t matchLen) {
  if (!diagList)
    return;
  if (options.verbose) {
    // The match report has just recorded the match and its notes.
    retagTrailingRecords(*diagList, MatchOutcome::FoundOnWrongLine);
    return;
  }
  SourceLocation start = region.data() + first;
  diagList->emplace_back(registry, step.pattern.kind, step.location,
                         MatchOutcome::FoundOnWrongLine, SourceRange(start, start + matchLen),
                         std::string());
}

std::optional<DagRange> Sequencer::matchDagPattern(const CheckStep &step,
                                                   const CheckPattern &pattern, TextRef region,
                                                   size_t from, DagRangeList &matchRanges,
                                                   std::optional<size_t> firstFound) {
  for (;;) {
    TextRef searched = region.substr(from);
    SearchResult result = firstFound ? pattern.fixedTextResult(*firstFound)
                                     : pattern.match(searched, registry);
    firstFound.reset();
    DagRange match{from + result.pos, from + result.pos + result.len};
    size_t recordsBefore = diagList ? diagList->size() : 0;
    if (!result.found || result.error || options.veryVerbose) {
      if (reportFailed({.pattern = pattern,
                        .prefix = step.prefix,
                        .location = pattern.location,
                        .searched = searched},
                       std::move(result)))
        return std::nullopt;
    }
    if (options.allowDeprecatedDagOverlap) {
      matchRanges.merge(match);
      return match;
    }
    DagRange overlapped;
    if (matchRanges.tryInsert(match, overlapped))
      return match;
    if (options.veryVerbose && diagList) {
      // The records of the earlier searches of this pattern already say
      // discarded; only this search's are new.
      retagTrailingRecords(*diagList, MatchOutcome::DiscardedOverlap, recordsBefore);
    } else if (options.veryVerbose) {
      sink.report(registry, region.data() + overlapped.start, DiagSeverity::Note,
                  "match discarded, overlaps earlier DAG match here",
                  SourceRange(region.data() + overlapped.start, region.data() + overlapped.end));
    }
    from = overlapped.end;
  }
}

std::optional<size_t> Sequencer::runDagGroups(const CheckStep &step, TextRef region,
                                              NotList &notList) {
  prepareImplicitSet(step.implicitNots());
  for (const CheckPattern &pattern : step.implicitNots())
    notList.push_back(&pattern);
  const std::vector<CheckPattern> &patterns = step.dagNotPatterns;
  size_t groupStart = 0;
  DagRangeList matchRanges;
  // The first search of every DAG pattern of a group starts at the group's
  // start, so the fixed-text ones are found there together. Their later
  // searches, after an overlap, go one by one.
  std::vector<size_t> firstFound;
  size_t groupFirst = 0;
  // A fixed text matched again in the same group cannot match before the end
  // of its previous accepted match: every earlier occurrence overlaps an
  // accepted match, and accepted matches stay. Without -vv the searches in
  // between are not reported (or their records are deferred), so they are
  // skipped.
  bool resume = !options.allowDeprecatedDagOverlap && (!options.veryVerbose || deferRecords);
  std::unordered_map<TextRef, size_t> acceptedEnd;
  for (size_t index = 0; index < patterns.size(); ++index) {
    const CheckPattern &pattern = patterns[index];
    if (pattern.kind.type == DirectiveType::Not) {
      notList.push_back(&pattern);
      continue;
    }
    if (index == 0 || patterns[index - 1].kind.type == DirectiveType::Not) {
      std::vector<const CheckPattern *> group;
      for (size_t i = index; i < patterns.size() && patterns[i].kind.type == DirectiveType::Dag; ++i)
        group.push_back(&patterns[i]);
      firstFound = searchAhead(group, region.substr(groupStart));
      groupFirst = index;
      if (resume)
        acceptedEnd.reserve(group.size());
      if (deferRecords) {
        // A group without deferred searches leaves its list to the next.
        if (acceptedGroups.empty() ||
            (!deferred.empty() && deferred.back().group + 1 == acceptedGroups.size()))
          acceptedGroups.emplace_back();
        acceptedGroups.back().clear();
      }
    }

    std::optional<size_t> foundAhead;
    if (searchesAhead(pattern))
      foundAhead = firstFound[index - groupFirst];
    auto previous = resume ? acceptedEnd.find(pattern.fixedText) : acceptedEnd.end();
    bool resumes = foundAhead && previous != acceptedEnd.end();
    std::optional<DagRange> accepted;
    if (resumes && deferRecords) {
      accepted = acceptFixedText(pattern, region, previous->second, matchRanges);
      if (accepted) {
        deferred.push_back({.recordsAt = diagList->size(),
                            .step = &step,
                            .pattern = &pattern,
                            .region = region,
                            .groupStart = groupStart,
                            .group = acceptedGroups.size() - 1,
                            .acceptedBefore = acceptedGroups.back().size()});
      }
      // Else the search is made again in full: the run fails here, so its
      // records are printed.
    }
    if (!accepted) {
      bool skips = resumes && !deferRecords;
      accepted = matchDagPattern(step, pattern, region, skips ? previous->second : groupStart,
                                 matchRanges, skips ? std::nullopt : foundAhead);
    }
    if (!accepted)
      return std::nullopt;
    if (resume && searchesAhead(pattern))
      acceptedEnd[pattern.fixedText] = accepted->end;
    if (deferRecords)
      acceptedGroups.back().push_back(*accepted);
    // With -vv every attempt has been reported already.
    if (!options.veryVerbose &&
        reportFailed({.pattern = pattern,
                      .prefix = step.prefix,
                      .location = pattern.location,
                      .searched = region},
                     SearchResult::makeFound(accepted->start, accepted->end - accepted->start)))
      return std::nullopt;

    bool groupEnds = index + 1 == patterns.size() ||
                     patterns[index + 1].kind.type == DirectiveType::Not;
    if (!groupEnds)
      continue;
    // The NOT patterns before the group must not occur before its first match.
    if (!notList.empty()) {
      size_t stretchEnd = std::max(matchRanges.front().start, groupStart);
      if (runNotPatterns(step, region.substr(groupStart, stretchEnd - groupStart), notList))
        return std::nullopt;
      notList.clear();
    }
    groupStart = matchRanges.back().end;
    matchRanges.clear();
    acceptedEnd.clear();
  }
  return groupStart;
}

void Sequencer::recordDeferredSearches() {
  if (deferred.empty())
    return;
  // The replayed searches record straight into the new list, between the
  // moved records of the old one.
  DiagList merged;
  Sequencer replayer(options, registry, sink, &merged, CheckEngine::RecordUse::AnyRun);
  auto kept = std::make_move_iterator(diagList->begin());
  DagRangeList matchRanges;
  size_t inserted = 0;
  for (size_t i = 0; i != deferred.size(); ++i) {
    const DeferredDagSearch &search = deferred[i];
    auto keptEnd = std::make_move_iterator(diagList->begin() + search.recordsAt);
    merged.insert(merged.end(), kept, keptEnd);
    kept = keptEnd;
    if (i == 0 || search.group != deferred[i - 1].group) {
      matchRanges.clear();
      inserted = 0;
    }
    const std::vector<DagRange> &accepted = acceptedGroups[search.group];
    DagRange overlapped;
    for (; inserted < search.acceptedBefore; ++inserted)
      matchRanges.tryInsert(accepted[inserted], overlapped);
    // Accepts the match the resumed search accepted, recording every search
    // on the way; fixed text has no side effects to repeat.
    replayer.matchDagPattern(*search.step, *search.pattern, search.region, search.groupStart,
                             matchRanges, std::nullopt);
    ++inserted;
  }
  merged.insert(merged.end(), kept, std::make_move_iterator(diagList->end()));
  *diagList = std::move(merged);
  deferred.clear();
}

void Sequencer::prepareImplicitSet(const std::vector<CheckPattern> &list) {
  if (implicitList == &list)
    return;
  implicitList = &list;
  implicitSet.reset();
  implicitMember.assign(list.size(), TextRef::npos);
  std::vector<TextRef> texts;
  for (size_t i = 0; i != list.size(); ++i) {
    if (searchesAhead(list[i])) {
      implicitMember[i] = texts.size();
      texts.push_back(list[i].fixedText);
    }
  }
  if (texts.size() >= fixedTextSetMinimum)
    implicitSet.emplace(texts, options.ignoreCase);
}

std::vector<size_t> Sequencer::searchAhead(const std::vector<const CheckPattern *> &patterns,
                                           TextRef range) {
  std::vector<size_t> found(patterns.size(), TextRef::npos);
  std::vector<const CheckPattern *> others;
  std::vector<size_t> othersIndex;
  std::vector<size_t> implicitFound;
  for (size_t i = 0; i != patterns.size(); ++i) {
    const CheckPattern *pattern = patterns[i];
    if (!searchesAhead(*pattern))
      continue;
    const CheckPattern *listBegin = implicitList ? implicitList->data() : nullptr;
    bool implicit = implicitSet && !std::less<>()(pattern, listBegin) &&
                    std::less<>()(pattern, listBegin + implicitList->size());
    if (implicit) {
      if (implicitFound.empty())
        implicitFound = implicitSet->firstOccurrences(range);
      found[i] = implicitFound[implicitMember[size_t(pattern - listBegin)]];
    } else {
      others.push_back(pattern);
      othersIndex.push_back(i);
    }
  }
  std::vector<size_t> othersFound = firstOccurrences(others, range, options.ignoreCase);
  for (size_t i = 0; i != others.size(); ++i)
    found[othersIndex[i]] = othersFound[i];
  return found;
}

bool Sequencer::runNotPatterns(const CheckStep &step, TextRef stretch, const NotList &notList) {
  std::vector<size_t> found = searchAhead(notList, stretch);
  bool failed = false;
  for (size_t i = 0; i != notList.size(); ++i) {
    const CheckPattern *pattern = notList[i];
    bool ahead = searchesAhead(*pattern);
    // Not finding a fixed text is reported only with -vv.
    if (ahead && found[i] == TextRef::npos && !options.veryVerbose)
      continue;
    SearchResult result =
        ahead ? pattern->fixedTextResult(found[i]) : pattern->match(stretch, registry);
    if (reportFailed({.pattern = *pattern,
                      .expected = false,
                      .prefix = step.prefix,
                      .location = pattern->location,
                      .searched = stretch},
                     std::move(result)))
      failed = true;
  }
  return failed;
}

/// Runs the steps of `feed` over `input`, the labels first to divide it into
/// blocks. Only the steps from the first unrun one to the next label are
/// asked for at a time, and each is released once run.
ErrorValue verifySteps(Sequencer &sequencer, StepFeed &feed, const CheckOptions &options,
                       TextRef input) {
  constexpr size_t noLabel = SIZE_MAX;
  bool failed = false;
  size_t firstUnrun = 0;
  size_t nextLabel = 0;
  TextRef rest = input;
  for (;;) {
    for (;; ++nextLabel) {
      const CheckStep *candidate = feed.labelFrom(nextLabel) ? feed.at(nextLabel) : nullptr;
      if (!candidate) {
        nextLabel = noLabel;
        break;
      }
      if (candidate->pattern.kind.type == DirectiveType::Label)
        break;
    }
    TextRef block = rest;
    if (nextLabel != noLabel) {
      size_t matchLen = 0;
      std::optional<size_t> labelPos =
          sequencer.run(*feed.at(nextLabel), rest, StepScope::LabelOnly, matchLen);
      if (!labelPos)
        return makeAlreadyReportedError();
      block = rest.substr(0, *labelPos + matchLen);
      rest = rest.substr(*labelPos + matchLen);
      ++nextLabel;
    }

    if (firstUnrun > 0 && options.enableVarScope)
      feed.forgetLocalVariables();

    size_t blockPos = 0;
    for (const CheckStep *step; firstUnrun < nextLabel && (step = feed.at(firstUnrun));) {
      size_t matchLen = 0;
      std::optional<size_t> pos =
          sequencer.run(*step, block.substr(blockPos), StepScope::Whole, matchLen);
      if (!pos) {
        failed = true;
        break;
      }
      blockPos += *pos + matchLen;
      feed.release(++firstUnrun);
    }

    if (nextLabel == noLabel || !feed.at(nextLabel))
      return failed ? makeAlreadyReportedError() : ErrorValue::success();
    firstUnrun = nextLabel;
    feed.release(firstUnrun);
  }
}

} // namespace

ErrorValue CheckEngine::verifyInput(SourceRegistry &registry, TextRef input,
                                    std::vector<MatchDiag> *diagList, RecordUse recordUse) {
  Sequencer sequencer(opts, registry, sink, diagList, recordUse);
  ErrorValue verified;
  // The deferred records point at their steps: they are made while the
  // feed still holds them.
  if (!streamed) {
    KeptStepFeed feed(checkSteps, *vars);
    verified = verifySteps(sequencer, feed, opts, input);
    if (verified)
      sequencer.recordDeferredSearches();
  } else {
    CheckFileReader reader(opts, *vars, registry, sink);
    reader.useImplicitPatterns(streamed->implicitPatterns);
    reader.start(streamed->checkText, *streamed->prefixMatcher);
    ReadingStepFeed feed(reader, *vars, streamed->lastLabelAt, sequencer.defersRecords());
    verified = verifySteps(sequencer, feed, opts, input);
    if (verified)
      sequencer.recordDeferredSearches();
    // parseCheckText has read the text through: reading it again finds no
    // fault, and whatever it found would have been reported.
    verified = combineErrors(std::move(verified), feed.takeReadError());
  }
  return verified;
}

} // namespace ostrel
