#include "tool/DumpAnnotation.h"

#include "support/diag/FatalError.h"

#include <map>

namespace ostrel {

namespace {

struct MarkerStyle {
  MatchOutcome outcome;
  char lead;
  TextColour colour;
  const char *note;
  bool countsAsError;
};

// Indexed by MatchOutcome.
constexpr MarkerStyle markerStyles[] = {
    {MatchOutcome::ExpectedFound, '^', TextColour::Green, "", false},
    {MatchOutcome::ExcludedFound, '!', TextColour::Red, "error: no match expected", true},
    {MatchOutcome::FoundOnWrongLine, '!', TextColour::Red, "error: match on wrong line", true},
    {MatchOutcome::DiscardedOverlap, '!', TextColour::Cyan, "discard: overlaps earlier match",
     false},
    {MatchOutcome::ErrorAfterMatch, '!', TextColour::Red, "error: unknown error after match",
     true},
    {MatchOutcome::ExcludedNotFound, 'X', TextColour::Green, "", false},
    {MatchOutcome::ExpectedNotFound, 'X', TextColour::Red, "error: no match found", true},
    {MatchOutcome::InvalidPattern, 'X', TextColour::Red,
     "error: match failed for invalid pattern", true},
    {MatchOutcome::FuzzyMatch, '?', TextColour::Magenta, "possible intended match", true},
};

} // namespace

DumpMarker dumpMarkerFor(MatchOutcome outcome) {
  size_t index = static_cast<size_t>(outcome);
  if (index >= std::size(markerStyles) || markerStyles[index].outcome != outcome)
    OSTREL_UNREACHABLE("unexpected match type");
  const MarkerStyle &style = markerStyles[index];
  return DumpMarker{style.lead, style.colour, style.note, style.countsAsError};
}

const char *dumpLabelWord(CheckKind kind) {
  switch (kind.type) {
  case DirectiveType::Misspelled: return "misspelled";
  case DirectiveType::Plain: return kind.count > 1 ? "count" : "check";
  case DirectiveType::Next: return "next";
  case DirectiveType::Same: return "same";
  case DirectiveType::Not: return "not";
  case DirectiveType::Dag: return "dag";
  case DirectiveType::Label: return "label";
  case DirectiveType::Empty: return "empty";
  case DirectiveType::Comment: return "com";
  case DirectiveType::ImplicitEof: return "eof";
  case DirectiveType::BadNot: return "bad-not";
  case DirectiveType::BadCount: return "bad-count";
  case DirectiveType::Invalid: break;
  }
  OSTREL_UNREACHABLE("unknown check type");
}

DumpAnnotation DumpAnnotation::continuation(uint32_t line) const {
  DumpAnnotation more;
  more.diagIndex = diagIndex;
  more.label = label;
  more.isFirstLine = false;
  more.inputLine = line;
  more.startColumn = 1;
  more.endColumn = line == lastLine ? lastEndColumn : dumpColumnLineEnd;
  more.marker = DumpMarker{'~', marker.colour, std::string(), marker.countsAsError};
  more.isExpectedMatch = isExpectedMatch;
  return more;
}

DumpAnnotations collectDumpAnnotations(const SourceRegistry &registry, unsigned checkBufferId,
                                       std::pair<unsigned, unsigned> implicitRange,
                                       const std::vector<MatchDiag> &records) {
  // Records that share a check location come from one directive; they get
  // numbered suffixes so the reader can tell them apart.
  std::map<SourceLocation, unsigned> recordsPerLocation;
  for (const MatchDiag &record : records)
    ++recordsPerLocation[record.checkLocation];
  std::map<SourceLocation, unsigned> nextSequence;

  DumpAnnotations result;
  result.annotations.reserve(records.size());
  uint32_t diagIndex = 0;
  for (const MatchDiag &record : records) {
    std::string label = dumpLabelWord(record.kind);
    label += ':';
    unsigned bufferId = registry.findBuffer(record.checkLocation);
    if (bufferId == checkBufferId) {
      label += std::to_string(registry.lineColumnOf(record.checkLocation, bufferId).first);
    } else {
      label += "imp";
      label += std::to_string(bufferId - implicitRange.first + 1);
    }
    if (recordsPerLocation[record.checkLocation] > 1) {
      label += '\'';
      label += std::to_string(nextSequence[record.checkLocation]++);
    }
    if (label.size() > result.labelWidth)
      result.labelWidth = static_cast<uint32_t>(label.size());

    DumpMarker marker = dumpMarkerFor(record.outcome);
    if (!record.note.empty()) {
      marker.note = record.note;
      // A note on an empty range has no column of its own to point at.
      if (record.inputStartLine == record.inputEndLine &&
          record.inputStartColumn == record.inputEndColumn)
        marker.lead = ' ';
    }
    if (record.outcome == MatchOutcome::ErrorAfterMatch)
      marker.note = "error: " + marker.note;

    bool oneLine = record.inputStartLine == record.inputEndLine;
    DumpAnnotation &first = result.annotations.emplace_back();
    first.diagIndex = diagIndex;
    first.label = std::move(label);
    first.isFirstLine = true;
    first.inputLine = record.inputStartLine;
    first.startColumn = record.inputStartColumn;
    // At least one column is marked, even for an empty match.
    first.endColumn = oneLine ? std::max(record.inputEndColumn, record.inputStartColumn + 1)
                              : dumpColumnLineEnd;
    first.marker = std::move(marker);
    first.isExpectedMatch = record.outcome == MatchOutcome::ExpectedFound;
    if (!oneLine) {
      // A range that stops at the very start of its last line does not
      // touch that line.
      bool touchesEndLine = record.inputEndColumn != 1;
      first.lastLine = touchesEndLine ? record.inputEndLine : record.inputEndLine - 1;
      first.lastEndColumn = touchesEndLine ? record.inputEndColumn : dumpColumnLineEnd;
    }
    ++diagIndex;
  }
  return result;
}

} // namespace ostrel
