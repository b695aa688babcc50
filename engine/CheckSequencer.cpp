#include "engine/CheckSequencer.h"

#include "engine/CheckEngine.h"
#include "engine/DiagnosticSink.h"
#include "engine/MatchDiag.h"
#include "engine/MatchReporter.h"
#include "engine/numeric/EngineErrors.h"
#include "engine/numeric/VariableContext.h"

#include <algorithm>
#include <optional>
#include <string>

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
  // Ends grow with starts, since the entries never overlap.
  auto first = std::upper_bound(ranges.begin() + cursor, ranges.end(), match.start,
                                [](size_t start, const DagRange &entry) { return start < entry.end; });
  if (first == ranges.end() || first->start >= match.end) {
    ranges.insert(first, match);
    return true;
  }
  overlapped = *first;
  cursor = static_cast<size_t>(first - ranges.begin()) + 1;
  return false;
}

void DagRangeList::merge(DagRange match) {
  if (ranges.empty()) {
    ranges.push_back(match);
    return;
  }
  ranges.front().start = std::min(ranges.front().start, match.start);
  ranges.front().end = std::max(ranges.front().end, match.end);
}

namespace {

using DiagList = std::vector<MatchDiag>;
using NotList = std::vector<const CheckPattern *>;

/// Gives every record at the end of the list that is about the same
/// directive as the last one a new outcome.
void retagTrailingRecords(DiagList &diagList, MatchOutcome outcome) {
  if (diagList.empty())
    return;
  SourceLocation about = diagList.back().checkLocation;
  for (auto record = diagList.rbegin();
       record != diagList.rend() && record->checkLocation == about; ++record)
    record->outcome = outcome;
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

/// How much of a step to run: only its positive pattern, to find where a
/// LABEL divides the input, or the whole step.
enum class StepScope { LabelOnly, Whole };

/// The checking of one engine run: the options, where the reports and the
/// records go.
class Sequencer {
public:
  Sequencer(const CheckOptions &options, SourceRegistry &registry, DiagnosticSink &sink,
            DiagList *diagList)
      : options(options), registry(registry), sink(sink), diagList(diagList),
        reporter(registry, sink, options, diagList) {}

  /// Runs `step` on `region`: the offset of its match, whose length goes to
  /// `matchLen`, or nothing when the step failed (and was reported).
  std::optional<size_t> run(const CheckStep &step, TextRef region, StepScope scope,
                            size_t &matchLen);

private:
  /// Reports `result`; true when that reported a failure.
  bool reportFailed(const SearchReport &search, SearchResult result);
  std::optional<size_t> runDagGroups(const CheckStep &step, TextRef region, NotList &notList);
  /// The first match of a DAG pattern at or after `from` that overlaps no
  /// earlier match of its group, entered into `matchRanges`.
  std::optional<DagRange> matchDagPattern(const CheckStep &step, const CheckPattern &pattern,
                                          TextRef region, size_t from, DagRangeList &matchRanges);
  bool runNotPatterns(const CheckStep &step, TextRef stretch, const NotList &notList);
  void recordWrongLine(const CheckStep &step, TextRef region, size_t first, size_t matchLen);

  const CheckOptions &options;
  SourceRegistry &registry;
  DiagnosticSink &sink;
  DiagList *diagList;
  MatchReporter reporter;
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
                                                   size_t from, DagRangeList &matchRanges) {
  matchRanges.startWalk();
  for (;;) {
    TextRef searched = region.substr(from);
    SearchResult result = pattern.match(searched, registry);
    DagRange match{from + result.pos, from + result.pos + result.len};
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
      retagTrailingRecords(*diagList, MatchOutcome::DiscardedOverlap);
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
  const std::vector<CheckPattern> &patterns = step.dagNotPatterns;
  size_t groupStart = 0;
  DagRangeList matchRanges;
  for (size_t index = 0; index < patterns.size(); ++index) {
    const CheckPattern &pattern = patterns[index];
    if (pattern.kind.type == DirectiveType::Not) {
      notList.push_back(&pattern);
      continue;
    }

    std::optional<DagRange> accepted =
        matchDagPattern(step, pattern, region, groupStart, matchRanges);
    if (!accepted)
      return std::nullopt;
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
  }
  return groupStart;
}

bool Sequencer::runNotPatterns(const CheckStep &step, TextRef stretch, const NotList &notList) {
  bool failed = false;
  for (const CheckPattern *pattern : notList) {
    SearchResult result = pattern->match(stretch, registry);
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

} // namespace

ErrorValue CheckEngine::verifyInput(SourceRegistry &registry, TextRef input,
                                    std::vector<MatchDiag> *diagList) {
  Sequencer sequencer(opts, registry, sink, diagList);
  const size_t stepCount = checkSteps.size();
  bool failed = false;
  size_t firstUnrun = 0;
  size_t nextLabel = 0;
  TextRef rest = input;
  for (;;) {
    while (nextLabel < stepCount && checkSteps[nextLabel].pattern.kind.type != DirectiveType::Label)
      ++nextLabel;
    TextRef block = rest;
    if (nextLabel < stepCount) {
      size_t matchLen = 0;
      std::optional<size_t> labelPos =
          sequencer.run(checkSteps[nextLabel], rest, StepScope::LabelOnly, matchLen);
      if (!labelPos)
        return makeAlreadyReportedError();
      block = rest.substr(0, *labelPos + matchLen);
      rest = rest.substr(*labelPos + matchLen);
      ++nextLabel;
    }

    if (firstUnrun > 0 && opts.enableVarScope)
      vars->forgetLocalVariables();

    size_t blockPos = 0;
    for (; firstUnrun < nextLabel; ++firstUnrun) {
      size_t matchLen = 0;
      std::optional<size_t> pos =
          sequencer.run(checkSteps[firstUnrun], block.substr(blockPos), StepScope::Whole, matchLen);
      if (!pos) {
        failed = true;
        firstUnrun = nextLabel;
        break;
      }
      blockPos += *pos + matchLen;
    }

    if (nextLabel == stepCount)
      return failed ? makeAlreadyReportedError() : ErrorValue::success();
    firstUnrun = nextLabel;
  }
}
