// The matching of a CheckPattern (declared in CheckPattern.h): the search
// for its fixed text, full line or expression, the values it captures, and
// the "possible intended match" search. Tested by CheckPatternMatch_test.cpp.

#include "engine/CheckPattern.h"

#include "engine/DiagnosticSink.h"
#include "engine/EngineErrors.h"
#include "engine/FixedTextSearch.h"
#include "engine/MatchDiag.h"
#include "engine/PatternRegexCache.h"
#include "engine/numeric/NumberFormat.h"
#include "engine/numeric/NumericErrors.h"
#include "engine/numeric/Substitution.h"
#include "engine/numeric/VariableContext.h"
#include "support/diag/DiagnosticError.h"
#include "support/fs/EditDistance.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#ifdef __SSE2__
#include <emmintrin.h>

namespace ostrel {
#endif

namespace {

/// The start of `text` compared with `example`: at most as many characters
/// as the example has, and nothing past the first line feed.
TextRef resemblancePiece(TextRef example, TextRef text) {
  TextRef piece = text.substr(0, example.size());
  size_t lineEnd = piece.find('\n');
  return lineEnd == TextRef::npos ? piece : piece.substr(0, lineEnd);
}

/// The text an expression made by escapeText stands for.
std::string unescapeText(TextRef expression) {
  std::string text;
  CompiledRegex::appendUnescaped(text, expression);
  return text;
}

SearchResult fixedTextSearch(TextRef range, TextRef text, bool ignoreCase) {
  size_t pos = findFixedText(range, text, ignoreCase);
  if (pos == TextRef::npos)
    return SearchResult::makeNotFound(makePatternNotFoundError());
  return SearchResult::makeFound(pos, text.size());
}

/// The first line of `range` that is `text`, with any blanks around it when
/// `blanks` is set: what the expression ^ *text *$ finds, the whole line
/// without its line feed, where the range's ends count as line ends.
SearchResult findFullLine(TextRef range, TextRef text, bool blanks, bool ignoreCase) {
  for (size_t from = 0; from <= range.size();) {
    size_t found = findFixedText(range.substr(from), text, ignoreCase);
    if (found == TextRef::npos)
      break;
    size_t start = from + found;
    size_t end = start + text.size();
    from = start + 1;
    while (blanks && start > 0 && range[start - 1] == ' ')
      --start;
    while (blanks && end < range.size() && range[end] == ' ')
      ++end;
    if ((start == 0 || range[start - 1] == '\n') && (end == range.size() || range[end] == '\n'))
      return SearchResult::makeFound(start, end - start);
  }
  return SearchResult::makeNotFound(makePatternNotFoundError());
}

TextRef resemblanceExample(const CheckPattern &pattern) {
  return pattern.fixedText.empty() ? TextRef(pattern.regexText()) : pattern.fixedText;
}

} // namespace

SearchResult CheckPattern::fixedTextResult(size_t pos) const {
  if (pos == TextRef::npos)
    return SearchResult::makeNotFound(makePatternNotFoundError());
  return SearchResult::makeFound(pos, fixedText.size());
}

SearchResult CheckPattern::match(TextRef range, SourceRegistry &registry) const {
  if (kind.type == DirectiveType::ImplicitEof)
    return SearchResult::makeFound(range.size(), 0);

  if (!fixedText.empty())
    return fixedTextResult(findFixedText(range, fixedText, ignoreCase));
  const PatternDetails &parts = details();
  if (!parts.fullLineText.empty())
    return findFullLine(range, parts.fullLineText, parts.fullLineBlanks, ignoreCase);

  // Kept from search to search, so that inserting values does not allocate.
  thread_local std::vector<std::string> values;
  values.resize(substitutions().size());
  if (!substitutions().empty()) {
    if (lineNumber && context->lineNumberVariable)
      context->lineNumberVariable->setValue(NumericValue::fromUnsigned(*lineNumber));
    ErrorValue failures;
    for (size_t index = 0; index != values.size(); ++index) {
      const Substitution &substitution = *substitutions()[index];
      ValueOrError<std::string> value = substitution.result();
      if (value)
        values[index] = std::move(*value);
      else
        failures = combineErrors(std::move(failures),
                                 convertSubstitutionFailure(substitution, value.takeError(),
                                                            registry));
    }
    if (failures)
      return SearchResult::makeNotFound(std::move(failures));
  }

  unsigned flags = CompiledRegex::newlineSensitive | (ignoreCase ? CompiledRegex::ignoreCase : 0u);
  // Splitting the match among the groups costs more than finding it, and
  // only captures need it.
  bool wantGroups = !stringDefs().empty() || !numericDefs().empty();
  TextRef whole;
  std::vector<TextRef> *groups = nullptr;
  if (parts.pieces.usable()) {
    thread_local std::vector<TextRef> pieceGroups;
    switch (parts.pieces.search(range, regexText(), values, flags, whole,
                                wantGroups ? &pieceGroups : nullptr)) {
    case PatternPieces::Outcome::NotFound:
      return SearchResult::makeNotFound(makePatternNotFoundError());
    case PatternPieces::Outcome::Found:
      groups = &pieceGroups;
      break;
    case PatternPieces::Outcome::Undecided:
      break;
    }
  }
  if (!groups) {
    std::string expanded;
    TextRef expression = regexText();
    if (!values.empty()) {
      expanded = regexText();
      size_t insertedSoFar = 0;
      for (size_t index = 0; index != values.size(); ++index) {
        expanded.insert(substitutions()[index]->insertAt() + insertedSoFar, values[index]);
        insertedSoFar += values[index].size();
      }
      expression = expanded;
    }
    if (regexIsText)
      return fixedTextSearch(range, unescapeText(expression), ignoreCase);
    // Made on the first search that needs an expression: text patterns never do.
    if (!regexCache)
      regexCache = std::make_shared<PatternRegexCache>();
    const CompiledRegex &regex = regexCache->get(expression, flags);
    groups = &regexCache->groups;
    std::string searchError;
    bool found = wantGroups ? regex.search(range, groups, &searchError)
                            : regex.searchWhole(range, whole, &searchError);
    if (!found) {
      if (searchError.empty())
        return SearchResult::makeNotFound(makePatternNotFoundError());
      // Each piece compiled when the check file was read, but the whole
      // expression (values inserted, pieces joined, line anchors added) can
      // still exceed a limit of the engine: a pattern error, not a miss.
      std::string message = regex.isValid()
                                 ? "unable to search with the pattern's regular expression: "
                                 : "unable to compile the pattern's regular expression: ";
      return SearchResult::makeNotFound(
          DiagnosticError::make(registry, location, message + searchError, SourceRange(),
                                DiagnosticKind::InvalidPattern));
    }
    if (wantGroups)
      whole = (*groups)[0];
  }
  // A group that took no part has no place in the input; its empty value is
  // anchored at the match so that notes about it still point somewhere.
  auto groupText = [&](unsigned group) -> TextRef {
    if (group < groups->size() && (*groups)[group].data())
      return (*groups)[group];
    return TextRef(whole.data(), 0);
  };
  for (const auto &[name, group] : stringDefs())
    context->setStringValue(name, groupText(group));

  size_t pos = static_cast<size_t>(whole.data() - range.data());
  size_t len = whole.size();
  if (kind.type == DirectiveType::Empty && len > 0) {
    // The expression starts at the line feed ending the previous line; the
    // match reported is the empty line itself.
    ++pos;
    --len;
  }

  for (const auto &[name, definition] : numericDefs()) {
    auto [variable, group] = definition;
    TextRef captured = groupText(group);
    ValueOrError<NumericValue> value = parseValue(variable->format, captured, registry);
    if (!value)
      return SearchResult::makeFound(pos, len, value.takeError());
    context->setNumericValue(*variable, *value, captured);
  }
  return SearchResult::makeFound(pos, len);
}

unsigned CheckPattern::resemblanceDistance(TextRef text) const {
  TextRef example = resemblanceExample(*this);
  return editDistance(resemblancePiece(example, text), example);
}

void CheckPattern::reportFuzzyMatch(SourceRegistry &registry, DiagnosticSink &sink, TextRef range,
                                    std::vector<MatchDiag> *diagList) const {
  constexpr size_t searchLimit = 4096;
  constexpr double goodEnough = 50;
  TextRef example = resemblanceExample(*this);
  size_t end = std::min(range.size(), searchLimit);
  unsigned lineCount = 0;
  std::optional<size_t> bestPos;
  double bestQuality = 0;
  for (size_t i = 0; i < end; ++i) {
    char c = range[i];
    if (c == '\n')
      ++lineCount;
    if (c == ' ' || c == '\t')
      continue;
    // Distances that cannot beat the best so far, nor be good enough, need
    // not be computed exactly; see editDistance.
    double bound = bestPos ? std::min(bestQuality, goodEnough) : goodEnough;
    unsigned limit = static_cast<unsigned>(std::ceil(bound));
    unsigned distance =
        editDistance(resemblancePiece(example, range.substr(i)), example, limit);
    double quality = distance + lineCount / 100.0;
    if (!bestPos || quality < bestQuality) {
      bestPos = i;
      bestQuality = quality;
    }
  }
  if (!bestPos || *bestPos == 0 || bestQuality >= goodEnough)
    return;
  SourceLocation place = range.data() + *bestPos;
  if (diagList)
    diagList->emplace_back(registry, kind, location, MatchOutcome::FuzzyMatch,
                           SourceRange(place, place), std::string());
  sink.report(registry, place, DiagSeverity::Note, "possible intended match here",
              DiagnosticKind::PossibleMatch);
}

} // namespace ostrel
