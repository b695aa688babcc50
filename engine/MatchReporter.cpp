#include "engine/MatchReporter.h"

#include "engine/EngineErrors.h"
#include "engine/numeric/NumericVariable.h"
#include "engine/numeric/Substitution.h"
#include "engine/numeric/VariableContext.h"
#include "support/diag/AlreadyReportedError.h"
#include "support/diag/DiagnosticError.h"
#include "support/diag/OutputStream.h"

#include <algorithm>
#include <string>
#include <utility>

namespace ostrel {

namespace {

/// "NAME: expected string found in input (2 out of 3)" and the like.
std::string outcomeMessage(const SearchReport &search, TextRef happened) {
  const CheckKind &kind = search.pattern.kind;
  std::string message = description(kind, search.prefix);
  message += search.expected ? ": expected string " : ": excluded string ";
  message += happened;
  message += " in input";
  if (kind.count > 1) {
    message +=
        " (" + std::to_string(search.matchedCount) + " out of " + std::to_string(kind.count) + ")";
  }
  return message;
}

/// `text` as shown between double quotes in a note.
std::string escapedForDisplay(TextRef text) {
  std::string shown;
  StringOutputStream out(shown);
  out.writeWithEscapes(text);
  out.flush();
  return shown;
}

/// The kind of the reports about a search with `outcome`.
DiagnosticKind kindOf(MatchOutcome outcome) {
  switch (outcome) {
  case MatchOutcome::ExpectedFound:
  case MatchOutcome::DiscardedOverlap:
  case MatchOutcome::ExcludedNotFound:
    return DiagnosticKind::Match;
  case MatchOutcome::ExcludedFound:
    return DiagnosticKind::ExcludedFound;
  case MatchOutcome::FoundOnWrongLine:
    return DiagnosticKind::WrongLine;
  case MatchOutcome::ErrorAfterMatch:
    return DiagnosticKind::UnreadableCapture;
  case MatchOutcome::ExpectedNotFound:
    return DiagnosticKind::ExpectedNotFound;
  case MatchOutcome::InvalidPattern:
    return DiagnosticKind::SubstitutionFailed;
  case MatchOutcome::FuzzyMatch:
    return DiagnosticKind::PossibleMatch;
  }
  return DiagnosticKind::Match;
}

} // namespace

void MatchReporter::reportSubstitutions(const CheckPattern &pattern, TextRef range,
                                        MatchOutcome outcome, std::vector<MatchDiag> *list) {
  for (const Substitution *substitution : pattern.substitutions()) {
    ValueOrError<std::string> value = substitution->result();
    if (!value) {
      // Already reported when the search could not take place.
      dropError(value.takeError());
      continue;
    }
    std::string note = "with \"" + escapedForDisplay(substitution->text()) + "\" equal to \"" +
                       escapedForDisplay(*value) + "\"";
    if (list)
      list->emplace_back(registry, pattern.kind, pattern.location, outcome,
                         SourceRange(range.data(), range.data()), std::move(note));
    else
      sink.report(registry, range.data(), DiagSeverity::Note, note, kindOf(outcome));
  }
}

void MatchReporter::reportCaptures(const CheckPattern &pattern, MatchOutcome outcome,
                                   std::vector<MatchDiag> *list) {
  if (pattern.stringDefs().empty() && pattern.numericDefs().empty())
    return;
  std::vector<std::pair<TextRef, SourceRange>> captures;
  for (const auto &entry : pattern.stringDefs()) {
    std::optional<TextRef> value = pattern.context->stringValue(entry.first);
    if (value)
      captures.emplace_back(entry.first, SourceRange::of(*value));
  }
  for (const auto &[name, definition] : pattern.numericDefs()) {
    const NumericVariable *variable = definition.first;
    if (variable->capturedText)
      captures.emplace_back(name, SourceRange::of(*variable->capturedText));
  }
  std::stable_sort(captures.begin(), captures.end(), [](const auto &a, const auto &b) {
    return std::less<SourceLocation>()(a.second.start, b.second.start);
  });
  for (const auto &[name, range] : captures) {
    std::string note = "captured var \"" + std::string(name) + "\"";
    if (list)
      list->emplace_back(registry, pattern.kind, pattern.location, outcome, range, std::move(note));
    else
      sink.report(registry, range.start, DiagSeverity::Note, note, kindOf(outcome), range);
  }
}

ErrorValue MatchReporter::reportFound(const SearchReport &search, SearchResult result) {
  const CheckPattern &pattern = search.pattern;
  bool hasError = !search.expected || result.error;
  bool printWanted = true;
  if (!hasError) {
    if (!options.verbose)
      return ErrorValue();
    if (!options.veryVerbose && pattern.kind.type == DirectiveType::ImplicitEof)
      return ErrorValue();
    printWanted = !diagList;
  }

  MatchOutcome outcome =
      search.expected ? MatchOutcome::ExpectedFound : MatchOutcome::ExcludedFound;
  const TextRef match(search.searched.data() + result.pos, result.len);
  SourceRange matchRange = SourceRange::of(match);
  if (diagList) {
    diagList->emplace_back(registry, pattern.kind, search.location, outcome, matchRange,
                           std::string());
    reportSubstitutions(pattern, match, outcome, diagList);
    reportCaptures(pattern, outcome, diagList);
  }
  if (!printWanted)
    return ErrorValue();

  sink.report(registry, search.location,
              search.expected ? DiagSeverity::Remark : DiagSeverity::Error,
              outcomeMessage(search, "found"), kindOf(outcome));
  sink.report(registry, match.data(), DiagSeverity::Note, "found here", kindOf(outcome),
              matchRange);
  reportSubstitutions(pattern, match, outcome, nullptr);
  reportCaptures(pattern, outcome, nullptr);

  ErrorValue rest = handleByKind(std::move(result.error), [&](const DiagnosticError &error) {
    sink.diagnostic(error.diagnostic(), error.kind());
    if (diagList)
      diagList->emplace_back(registry, pattern.kind, search.location, MatchOutcome::ErrorAfterMatch,
                             error.range(), error.messageText());
  });
  // Errors other than the engine's located ones should not reach the
  // reports; if one does, it is printed rather than lost.
  sink.reportErrors(std::move(rest), DiagnosticKind::UnreadableCapture);
  return hasError ? makeAlreadyReportedError() : ErrorValue();
}

ErrorValue MatchReporter::reportNotFound(const SearchReport &search, SearchResult result) {
  const CheckPattern &pattern = search.pattern;
  bool hasError = search.expected;
  bool patternError = false;
  MatchOutcome outcome =
      search.expected ? MatchOutcome::ExpectedNotFound : MatchOutcome::ExcludedNotFound;
  std::vector<std::string> keptMessages;
  auto notePatternError = [&] {
    hasError = true;
    patternError = true;
    outcome = MatchOutcome::InvalidPattern;
  };
  // One pass in order, so that the messages come in the order of the
  // substitutions that failed.
  ErrorValue rest = handleByKind(
      std::move(result.error), [](const PatternNotFoundError &) {},
      [&](const DiagnosticError &error) {
        notePatternError();
        sink.diagnostic(error.diagnostic(), error.kind());
        if (diagList)
          keptMessages.push_back(error.messageText());
      },
      [&](const ErrorPayload &other) {
        // Not a located failure, but the search did not take place all the
        // same: printed with its own text, like any error.
        notePatternError();
        sink.text(other.message(), DiagnosticKind::SubstitutionFailed);
        sink.text("\n", DiagnosticKind::SubstitutionFailed);
        if (diagList)
          keptMessages.push_back(other.message());
      });
  dropError(std::move(rest)); // every kind was taken above

  bool printWanted = true;
  if (!hasError) {
    if (!options.veryVerbose)
      return ErrorValue();
    printWanted = !diagList;
  }

  TextRef searched = search.searched;
  if (diagList) {
    diagList->emplace_back(registry, pattern.kind, search.location, outcome,
                           SourceRange::of(searched), std::string());
    for (std::string &message : keptMessages)
      diagList->emplace_back(registry, pattern.kind, search.location, outcome,
                             SourceRange(searched.data(), searched.data()), std::move(message));
    reportSubstitutions(pattern, searched, outcome, diagList);
  }
  if (!printWanted)
    return ErrorValue();

  if (!patternError) {
    sink.report(registry, search.location,
                search.expected ? DiagSeverity::Error : DiagSeverity::Remark,
                outcomeMessage(search, "not found"), kindOf(outcome));
    sink.report(registry, searched.data(), DiagSeverity::Note, "scanning from here",
                kindOf(outcome));
  }
  reportSubstitutions(pattern, searched, outcome, nullptr);
  if (search.expected)
    pattern.reportFuzzyMatch(registry, sink, searched, diagList);
  return hasError ? makeAlreadyReportedError() : ErrorValue();
}

ErrorValue MatchReporter::reportOutcome(const SearchReport &search, SearchResult result) {
  if (result.found)
    return reportFound(search, std::move(result));
  return reportNotFound(search, std::move(result));
}

} // namespace ostrel
