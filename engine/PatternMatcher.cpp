#include "engine/PatternMatcher.h"

#include "engine/CheckPattern.h"
#include "engine/MatchDiag.h"
#include "engine/numeric/EngineErrors.h"
#include "engine/numeric/NumberFormat.h"
#include "engine/numeric/Substitution.h"
#include "engine/numeric/VariableContext.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

namespace {

inline char foldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool equalFolded(const char *a, const char *b, size_t size) {
  for (size_t i = 0; i < size; ++i)
    if (foldCase(a[i]) != foldCase(b[i]))
      return false;
  return true;
}

/// Case-folding search: candidates are found with memchr on both spellings
/// of the first byte, so long stretches without it are skipped quickly.
size_t findFolded(TextRef haystack, TextRef needle) {
  if (needle.size() > haystack.size())
    return TextRef::npos;
  const char *base = haystack.data();
  const size_t lastStart = haystack.size() - needle.size();
  const char lower = foldCase(needle[0]);
  const char upper = (lower >= 'a' && lower <= 'z') ? static_cast<char>(lower - 32) : lower;
  auto next = [&](char c, size_t from) -> size_t {
    if (from > lastStart)
      return TextRef::npos;
    const void *hit = std::memchr(base + from, c, lastStart + 1 - from);
    return hit ? static_cast<const char *>(hit) - base : TextRef::npos;
  };
  size_t nextLower = next(lower, 0);
  size_t nextUpper = lower == upper ? TextRef::npos : next(upper, 0);
  while (nextLower != TextRef::npos || nextUpper != TextRef::npos) {
    size_t candidate = std::min(nextLower, nextUpper);
    if (equalFolded(base + candidate + 1, needle.data() + 1, needle.size() - 1))
      return candidate;
    if (candidate == nextLower)
      nextLower = next(lower, candidate + 1);
    else
      nextUpper = next(upper, candidate + 1);
  }
  return TextRef::npos;
}

} // namespace

size_t findFixedText(TextRef haystack, TextRef needle, bool ignoreCase) {
  if (needle.empty())
    return 0;
  if (ignoreCase)
    return findFolded(haystack, needle);
  if (needle.size() > haystack.size())
    return TextRef::npos;
  const void *hit = memmem(haystack.data(), haystack.size(), needle.data(), needle.size());
  return hit ? static_cast<const char *>(hit) - haystack.data() : TextRef::npos;
}

unsigned resemblanceEditDistance(TextRef a, TextRef b, unsigned limit) {
  if (a.size() < b.size())
    std::swap(a, b);
  // The length difference alone is a lower bound.
  if (a.size() - b.size() > limit)
    return limit + 1;
  static thread_local std::vector<unsigned> row;
  row.resize(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j)
    row[j] = static_cast<unsigned>(j);
  for (size_t i = 1; i <= a.size(); ++i) {
    unsigned diagonal = row[0];
    row[0] = static_cast<unsigned>(i);
    unsigned rowMinimum = row[0];
    for (size_t j = 1; j <= b.size(); ++j) {
      unsigned above = row[j];
      unsigned replace = diagonal + (a[i - 1] == b[j - 1] ? 0 : 1);
      row[j] = std::min({above + 1, row[j - 1] + 1, replace});
      diagonal = above;
      rowMinimum = std::min(rowMinimum, row[j]);
    }
    // Every later row is at least the minimum of this one.
    if (rowMinimum > limit)
      return limit + 1;
  }
  return row[b.size()];
}

const CompiledRegex &PatternRegexCache::get(TextRef text, unsigned wantedFlags) {
  if (!compiled || flags != wantedFlags || expression != text) {
    expression.assign(text.data(), text.size());
    flags = wantedFlags;
    regex = CompiledRegex(expression, flags);
    compiled = true;
  }
  return regex;
}

namespace {

/// The start of `text` compared with `example`: at most as many characters
/// as the example has, and nothing past the first line feed.
TextRef resemblancePiece(TextRef example, TextRef text) {
  TextRef piece = text.substr(0, example.size());
  size_t lineEnd = piece.find('\n');
  return lineEnd == TextRef::npos ? piece : piece.substr(0, lineEnd);
}

TextRef resemblanceExample(const CheckPattern &pattern) {
  return pattern.fixedText.empty() ? TextRef(pattern.regexText) : pattern.fixedText;
}

} // namespace

SearchResult CheckPattern::match(TextRef range, SourceRegistry &registry) const {
  if (kind.type == DirectiveType::ImplicitEof)
    return SearchResult::makeFound(range.size(), 0);

  if (!fixedText.empty()) {
    size_t pos = findFixedText(range, fixedText, ignoreCase);
    if (pos == TextRef::npos)
      return SearchResult::makeNotFound(makePatternNotFoundError());
    return SearchResult::makeFound(pos, fixedText.size());
  }

  if (!regexCache)
    regexCache = std::make_shared<PatternRegexCache>();
  unsigned flags = CompiledRegex::newlineSensitive | (ignoreCase ? CompiledRegex::ignoreCase : 0u);
  const CompiledRegex *regex = nullptr;
  if (substitutions.empty()) {
    regex = &regexCache->get(regexText, flags);
  } else {
    if (lineNumber && context->lineNumberVariable)
      context->lineNumberVariable->setValue(NumericValue::fromUnsigned(*lineNumber));
    std::string expanded = regexText;
    size_t insertedSoFar = 0;
    ErrorValue failures;
    for (const Substitution *substitution : substitutions) {
      ValueOrError<std::string> value = substitution->result();
      if (!value) {
        failures = combineErrors(std::move(failures),
                                 convertSubstitutionFailure(*substitution, value.takeError(),
                                                            registry));
        continue;
      }
      expanded.insert(substitution->insertAt() + insertedSoFar, *value);
      insertedSoFar += value->size();
    }
    if (failures)
      return SearchResult::makeNotFound(std::move(failures));
    regex = &regexCache->get(expanded, flags);
  }

  std::vector<TextRef> &groups = regexCache->groups;
  if (!regex->search(range, &groups))
    return SearchResult::makeNotFound(makePatternNotFoundError());

  TextRef whole = groups[0];
  // A group that took no part has no place in the input; its empty value is
  // anchored at the match so that notes about it still point somewhere.
  auto groupText = [&](unsigned group) -> TextRef {
    if (group < groups.size() && groups[group].data())
      return groups[group];
    return TextRef(whole.data(), 0);
  };
  for (const auto &[name, group] : stringDefs)
    context->setStringValue(name, groupText(group));

  size_t pos = static_cast<size_t>(whole.data() - range.data());
  size_t len = whole.size();
  if (kind.type == DirectiveType::Empty && len > 0) {
    // The expression starts at the line feed ending the previous line; the
    // match reported is the empty line itself.
    ++pos;
    --len;
  }

  for (const auto &[name, definition] : numericDefs) {
    auto [variable, group] = definition;
    TextRef captured = groupText(group);
    ValueOrError<NumericValue> value = parseValue(variable->format, captured, registry);
    if (!value)
      return SearchResult::makeFound(pos, len, value.takeError());
    variable->setValue(*value, captured);
  }
  return SearchResult::makeFound(pos, len);
}

unsigned CheckPattern::resemblanceDistance(TextRef text) const {
  TextRef example = resemblanceExample(*this);
  return resemblanceEditDistance(resemblancePiece(example, text), example);
}

void CheckPattern::reportFuzzyMatch(SourceRegistry &registry, TextRef range,
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
    // not be computed exactly; see resemblanceEditDistance.
    double bound = bestPos ? std::min(bestQuality, goodEnough) : goodEnough;
    unsigned limit = static_cast<unsigned>(std::ceil(bound));
    unsigned distance =
        resemblanceEditDistance(resemblancePiece(example, range.substr(i)), example, limit);
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
  registry.report(place, DiagSeverity::Note, "possible intended match here");
}
