#include "engine/CheckSequencer.h"

#include "engine/CheckEngine.h"
#include "engine/CheckFileReader.h"
#include "engine/DiagnosticSink.h"
#include "engine/FixedTextSearch.h"
#include "engine/MatchDiag.h"
#include "engine/MatchReporter.h"
#include "engine/StepFeed.h"
#include "engine/numeric/VariableContext.h"
#include "support/diag/AlreadyReportedError.h"

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

/// Gives every record at the end of the list that is about the same
/// directive as the last one a new outcome, looking no further back than
/// `from`: a caller that knows the records before it already carry the
/// outcome saves walking them again.
void retagTrailingRecords(CheckSequencer::DiagList &diagList, MatchOutcome outcome, size_t from = 0) {
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
              "'next' match was here", DiagnosticKind::WrongLine);
  sink.report(registry, stretch.data(), DiagSeverity::Note, "previous match ended here",
              DiagnosticKind::WrongLine);
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
                directive + ": is on the same line as previous match", DiagnosticKind::WrongLine);
    reportLineRuleNotes(registry, sink, stretch);
    return true;
  }
  sink.report(registry, step.location, DiagSeverity::Error,
              directive + ": is not on the line after the previous match",
              DiagnosticKind::WrongLine);
  reportLineRuleNotes(registry, sink, stretch);
  sink.report(registry, stretch.data() + breaks.firstLineStart, DiagSeverity::Note,
              "non-matching line after previous match is here", DiagnosticKind::WrongLine);
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
              std::string(step.prefix) + "-SAME: is not on the same line as the previous match",
              DiagnosticKind::WrongLine);
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

} // namespace

CheckSequencer::CheckSequencer(const CheckOptions &options, SourceRegistry &registry,
                               DiagnosticSink &sink, DiagList *diagList,
                               CheckEngine::RecordUse recordUse)
    : options(options), registry(registry), sink(sink), diagList(diagList),
      reporter(registry, sink, options, diagList),
      deferRecords(diagList && options.veryVerbose && !options.allowDeprecatedDagOverlap &&
                   recordUse == CheckEngine::RecordUse::FailedRunOnly),
      resumeDagSearches(!options.allowDeprecatedDagOverlap &&
                        (!options.veryVerbose || deferRecords)) {}

bool CheckSequencer::reportFailed(const SearchReport &search, SearchResult result) {
  ErrorValue reported = reporter.reportOutcome(search, std::move(result));
  if (!reported)
    return false;
  ErrorValue rest = handleByKind(std::move(reported), [](const AlreadyReportedError &) {});
  sink.reportErrors(std::move(rest), DiagnosticKind::SubstitutionFailed);
  return true;
}

std::optional<size_t> CheckSequencer::run(const CheckStep &step, TextRef region, StepScope scope,
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

void CheckSequencer::recordWrongLine(const CheckStep &step, TextRef region, size_t first,
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

std::optional<DagRange> CheckSequencer::matchDagPattern(const CheckStep &step,
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
                  "match discarded, overlaps earlier DAG match here", DiagnosticKind::Match,
                  SourceRange(region.data() + overlapped.start, region.data() + overlapped.end));
    }
    from = overlapped.end;
  }
}

std::optional<size_t> CheckSequencer::runDagGroups(const CheckStep &step, TextRef region,
                                                   NotList &notList) {
  prepareImplicitSet(step.implicitNots());
  for (const CheckPattern &pattern : step.implicitNots())
    notList.push_back(&pattern);
  const std::vector<CheckPattern> &patterns = step.dagNotPatterns;
  DagGroup group;
  for (size_t index = 0; index < patterns.size(); ++index) {
    const CheckPattern &pattern = patterns[index];
    if (pattern.kind.type == DirectiveType::Not) {
      notList.push_back(&pattern);
      continue;
    }
    if (index == 0 || patterns[index - 1].kind.type == DirectiveType::Not)
      startDagGroup(patterns, index, region, group);
    if (!acceptDagPattern(step, pattern, index, region, group))
      return std::nullopt;
    bool groupEnds = index + 1 == patterns.size() ||
                     patterns[index + 1].kind.type == DirectiveType::Not;
    if (groupEnds && !finishDagGroup(step, region, notList, group))
      return std::nullopt;
  }
  return group.start;
}

void CheckSequencer::startDagGroup(const std::vector<CheckPattern> &patterns, size_t index,
                                   TextRef region, DagGroup &group) {
  std::vector<const CheckPattern *> members;
  for (size_t i = index; i < patterns.size() && patterns[i].kind.type == DirectiveType::Dag; ++i)
    members.push_back(&patterns[i]);
  group.firstFound = searchAhead(members, region.substr(group.start));
  group.firstIndex = index;
  if (resumeDagSearches)
    group.acceptedEnd.reserve(members.size());
  if (deferRecords) {
    // A group without deferred searches leaves its list to the next.
    if (acceptedGroups.empty() ||
        (!deferred.empty() && deferred.back().group + 1 == acceptedGroups.size()))
      acceptedGroups.emplace_back();
    acceptedGroups.back().clear();
  }
}

bool CheckSequencer::acceptDagPattern(const CheckStep &step, const CheckPattern &pattern,
                                      size_t index, TextRef region, DagGroup &group) {
  std::optional<size_t> foundAhead;
  if (searchesAhead(pattern))
    foundAhead = group.firstFound[index - group.firstIndex];
  auto previous =
      resumeDagSearches ? group.acceptedEnd.find(pattern.fixedText) : group.acceptedEnd.end();
  bool resumes = foundAhead && previous != group.acceptedEnd.end();
  std::optional<DagRange> accepted;
  if (resumes && deferRecords) {
    accepted = acceptFixedText(pattern, region, previous->second, group.matchRanges);
    if (accepted) {
      deferred.push_back({.recordsAt = diagList->size(),
                          .step = &step,
                          .pattern = &pattern,
                          .region = region,
                          .groupStart = group.start,
                          .group = acceptedGroups.size() - 1,
                          .acceptedBefore = acceptedGroups.back().size()});
    }
    // Else the search is made again in full: the run fails here, so its
    // records are printed.
  }
  if (!accepted) {
    bool skips = resumes && !deferRecords;
    accepted = matchDagPattern(step, pattern, region, skips ? previous->second : group.start,
                               group.matchRanges, skips ? std::nullopt : foundAhead);
  }
  if (!accepted)
    return false;
  if (resumeDagSearches && searchesAhead(pattern))
    group.acceptedEnd[pattern.fixedText] = accepted->end;
  if (deferRecords)
    acceptedGroups.back().push_back(*accepted);
  // With -vv every attempt has been reported already.
  return options.veryVerbose ||
         !reportFailed({.pattern = pattern,
                        .prefix = step.prefix,
                        .location = pattern.location,
                        .searched = region},
                       SearchResult::makeFound(accepted->start, accepted->end - accepted->start));
}

bool CheckSequencer::finishDagGroup(const CheckStep &step, TextRef region, NotList &notList,
                                    DagGroup &group) {
  // The NOT patterns before the group must not occur before its first match.
  if (!notList.empty()) {
    size_t stretchEnd = std::max(group.matchRanges.front().start, group.start);
    if (runNotPatterns(step, region.substr(group.start, stretchEnd - group.start), notList))
      return false;
    notList.clear();
  }
  group.start = group.matchRanges.back().end;
  group.matchRanges.clear();
  group.acceptedEnd.clear();
  return true;
}

void CheckSequencer::recordDeferredSearches() {
  if (deferred.empty())
    return;
  // The replayed searches record straight into the new list, between the
  // moved records of the old one.
  DiagList merged;
  CheckSequencer replayer(options, registry, sink, &merged, CheckEngine::RecordUse::AnyRun);
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

void CheckSequencer::prepareImplicitSet(const std::vector<CheckPattern> &list) {
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

std::vector<size_t> CheckSequencer::searchAhead(const std::vector<const CheckPattern *> &patterns,
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

bool CheckSequencer::runNotPatterns(const CheckStep &step, TextRef stretch, const NotList &notList) {
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



ErrorValue CheckSequencer::verifySteps(StepFeed &feed, TextRef input) {
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
          run(*feed.at(nextLabel), rest, StepScope::LabelOnly, matchLen);
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
          run(*step, block.substr(blockPos), StepScope::Whole, matchLen);
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

} // namespace ostrel
