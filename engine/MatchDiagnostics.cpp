#include "engine/MatchDiagnostics.h"

#include "engine/numeric/EngineErrors.h"
#include "engine/numeric/NumericVariable.h"
#include "engine/numeric/Substitution.h"
#include "engine/numeric/VariableContext.h"

#include <algorithm>
#include <utility>

namespace {

/// "NAME: expected string found in input (2 out of 3)" and the like.
std::string outcomeMessage(const CheckPattern &pattern, TextRef prefix, bool expected,
                           TextRef happened, int matchedCount) {
  std::string message = description(pattern.kind, prefix);
  message += expected ? ": expected string " : ": excluded string ";
  message += happened;
  message += " in input";
  if (pattern.kind.count > 1) {
    message += " (" + std::to_string(matchedCount) + " out of " +
               std::to_string(pattern.kind.count) + ")";
  }
  return message;
}

} // namespace

std::string escapeForDisplay(TextRef text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    switch (c) {
    case '\\': out += "\\\\"; break;
    case '\t': out += "\\t"; break;
    case '\n': out += "\\n"; break;
    case '"': out += "\\\""; break;
    default:
      if (byte < 32 || byte > 126) {
        out += '\\';
        out += static_cast<char>('0' + ((byte >> 6) & 7));
        out += static_cast<char>('0' + ((byte >> 3) & 7));
        out += static_cast<char>('0' + (byte & 7));
      } else {
        out += c;
      }
    }
  }
  return out;
}

void reportSubstitutions(const CheckPattern &pattern, SourceRegistry &registry,
                         DiagnosticSink &sink, TextRef range, MatchOutcome outcome,
                         std::vector<MatchDiag> *diagList) {
  for (const Substitution *substitution : pattern.substitutions) {
    ValueOrError<std::string> value = substitution->result();
    if (!value) {
      // Already reported when the search could not take place.
      dropError(value.takeError());
      continue;
    }
    std::string note = "with \"" + escapeForDisplay(substitution->text()) + "\" equal to \"" +
                       escapeForDisplay(*value) + "\"";
    if (diagList)
      diagList->emplace_back(registry, pattern.kind, pattern.location, outcome,
                             SourceRange(range.data(), range.data()), std::move(note));
    else
      sink.report(registry, range.data(), DiagSeverity::Note, note);
  }
}

void reportCaptures(const CheckPattern &pattern, SourceRegistry &registry, DiagnosticSink &sink,
                    MatchOutcome outcome, std::vector<MatchDiag> *diagList) {
  if (pattern.stringDefs.empty() && pattern.numericDefs.empty())
    return;
  std::vector<std::pair<TextRef, SourceRange>> captures;
  for (const auto &entry : pattern.stringDefs) {
    std::optional<TextRef> value = pattern.context->stringValue(entry.first);
    if (value)
      captures.emplace_back(entry.first, SourceRange::of(*value));
  }
  for (const auto &[name, definition] : pattern.numericDefs) {
    const NumericVariable *variable = definition.first;
    if (variable->capturedText)
      captures.emplace_back(name, SourceRange::of(*variable->capturedText));
  }
  std::stable_sort(captures.begin(), captures.end(), [](const auto &a, const auto &b) {
    return std::less<SourceLocation>()(a.second.start, b.second.start);
  });
  for (const auto &[name, range] : captures) {
    std::string note = "captured var \"" + std::string(name) + "\"";
    if (diagList)
      diagList->emplace_back(registry, pattern.kind, pattern.location, outcome, range,
                             std::move(note));
    else
      sink.report(registry, range.start, DiagSeverity::Note, note, range);
  }
}

ErrorValue reportFound(bool expected, SourceRegistry &registry, DiagnosticSink &sink,
                       TextRef prefix, SourceLocation location, const CheckPattern &pattern,
                       int matchedCount, TextRef searched, SearchResult searchResult,
                       const CheckOptions &options, std::vector<MatchDiag> *diagList) {
  bool hasError = !expected || searchResult.error;
  bool printWanted = true;
  if (!hasError) {
    if (!options.verbose)
      return ErrorValue();
    if (!options.veryVerbose && pattern.kind.type == DirectiveType::ImplicitEof)
      return ErrorValue();
    printWanted = !diagList;
  }

  MatchOutcome outcome = expected ? MatchOutcome::ExpectedFound : MatchOutcome::ExcludedFound;
  SourceLocation matchStart = searched.data() + searchResult.pos;
  SourceRange matchRange(matchStart, matchStart + searchResult.len);
  if (diagList) {
    diagList->emplace_back(registry, pattern.kind, location, outcome, matchRange, std::string());
    reportSubstitutions(pattern, registry, sink, TextRef(matchStart, searchResult.len), outcome,
                        diagList);
    reportCaptures(pattern, registry, sink, outcome, diagList);
  }
  if (!printWanted)
    return ErrorValue();

  sink.report(registry, location, expected ? DiagSeverity::Remark : DiagSeverity::Error,
              outcomeMessage(pattern, prefix, expected, "found", matchedCount));
  sink.report(registry, matchStart, DiagSeverity::Note, "found here", matchRange);
  reportSubstitutions(pattern, registry, sink, TextRef(matchStart, searchResult.len), outcome,
                      nullptr);
  reportCaptures(pattern, registry, sink, outcome, nullptr);

  ErrorValue rest = handleByKind(std::move(searchResult.error), [&](const DiagnosticError &error) {
    sink.diagnostic(error.diagnostic());
    if (diagList)
      diagList->emplace_back(registry, pattern.kind, location, MatchOutcome::ErrorAfterMatch,
                             error.range(), error.messageText());
  });
  // Errors other than the engine's located ones should not reach the
  // reports; if one does, it is printed rather than lost.
  sink.reportErrors(std::move(rest));
  return hasError ? makeAlreadyReportedError() : ErrorValue();
}

ErrorValue reportNotFound(bool expected, SourceRegistry &registry, DiagnosticSink &sink,
                          TextRef prefix, SourceLocation location, const CheckPattern &pattern,
                          int matchedCount, TextRef searched, SearchResult searchResult,
                          const CheckOptions &options, std::vector<MatchDiag> *diagList) {
  bool hasError = expected;
  bool patternError = false;
  MatchOutcome outcome = expected ? MatchOutcome::ExpectedNotFound : MatchOutcome::ExcludedNotFound;
  std::vector<std::string> keptMessages;
  auto notePatternError = [&] {
    hasError = true;
    patternError = true;
    outcome = MatchOutcome::InvalidPattern;
  };
  // One pass in order, so that the messages come in the order of the
  // substitutions that failed.
  ErrorValue rest = handleByKind(
      std::move(searchResult.error), [](const PatternNotFoundError &) {},
      [&](const DiagnosticError &error) {
        notePatternError();
        sink.diagnostic(error.diagnostic());
        if (diagList)
          keptMessages.push_back(error.messageText());
      },
      [&](const ErrorPayload &other) {
        // Not a located failure, but the search did not take place all the
        // same: printed with its own text, like any error.
        notePatternError();
        sink.text(other.message());
        sink.text("\n");
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

  SourceRange searchRange = SourceRange::of(searched);
  if (diagList) {
    diagList->emplace_back(registry, pattern.kind, location, outcome, searchRange, std::string());
    for (std::string &message : keptMessages)
      diagList->emplace_back(registry, pattern.kind, location, outcome,
                             SourceRange(searched.data(), searched.data()), std::move(message));
    reportSubstitutions(pattern, registry, sink, searched, outcome, diagList);
  }
  if (!printWanted)
    return ErrorValue();

  if (!patternError) {
    sink.report(registry, location, expected ? DiagSeverity::Error : DiagSeverity::Remark,
                outcomeMessage(pattern, prefix, expected, "not found", matchedCount));
    sink.report(registry, searched.data(), DiagSeverity::Note, "scanning from here");
  }
  reportSubstitutions(pattern, registry, sink, searched, outcome, nullptr);
  if (expected)
    pattern.reportFuzzyMatch(registry, sink, searched, diagList);
  return hasError ? makeAlreadyReportedError() : ErrorValue();
}

ErrorValue reportOutcome(bool expected, SourceRegistry &registry, DiagnosticSink &sink,
                         TextRef prefix, SourceLocation location, const CheckPattern &pattern,
                         int matchedCount, TextRef searched, SearchResult searchResult,
                         const CheckOptions &options, std::vector<MatchDiag> *diagList) {
  if (searchResult.found)
    return reportFound(expected, registry, sink, prefix, location, pattern, matchedCount, searched,
                       std::move(searchResult), options, diagList);
  return reportNotFound(expected, registry, sink, prefix, location, pattern, matchedCount, searched,
                        std::move(searchResult), options, diagList);
}
