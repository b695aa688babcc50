#include "lint/NearDirectives.h"

#include "support/fs/EditDistance.h"

#include <algorithm>

namespace ostrel {

namespace {

bool isLower(char c) { return c >= 'a' && c <= 'z'; }
bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlnum(char c) { return isLower(c) || isUpper(c) || isDigit(c); }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

char lowered(char c) { return isUpper(c) ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalIgnoringCase(TextRef a, TextRef b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return lowered(x) == lowered(y); });
}

/// A word in capitals (digits, hyphens and underscores allowed), the shape
/// of every default directive; prose words have lower-case letters.
bool isCapitalWord(TextRef word) {
  return std::none_of(word.begin(), word.end(), isLower) &&
         std::any_of(word.begin(), word.end(), isUpper);
}

/// True when `a` becomes `b` by swapping two neighbouring characters, a slip
/// the edit distance counts twice.
bool isOneSwapAway(TextRef a, TextRef b) {
  if (a.size() != b.size())
    return false;
  size_t first = 0;
  while (first < a.size() && a[first] == b[first])
    ++first;
  return first + 1 < a.size() && a[first] == b[first + 1] && a[first + 1] == b[first] &&
         a.substr(first + 2) == b.substr(first + 2);
}

std::string withHyphens(TextRef word) {
  std::string result(word);
  std::replace(result.begin(), result.end(), '_', '-');
  return result;
}

Finding notADirective(LintCheck check, TextRef shown, const std::string &meant) {
  return Finding{check, shown.data(), SourceRange::of(shown),
                 "'" + std::string(shown) + "' is not a directive; did you mean '" + meant + "'?"};
}

/// A finding whose suggestion is a mechanical repair: `shown` becomes `meant`.
Finding mendable(TextRef shown, const std::string &meant) {
  Finding finding = notADirective(LintCheck::MisspelledDirective, shown, meant);
  finding.fix = FixIt{SourceRange::of(shown), meant};
  return finding;
}

Finding badCount(TextRef shown, TextRef prefix) {
  return Finding{LintCheck::BadCount, shown.data(), SourceRange::of(shown),
                 "'" + std::string(shown) + "' has no valid count; write '" + std::string(prefix) +
                     "-COUNT-<n>:' with <n> from 1 to 2147483647"};
}

constexpr TextRef countWord = "-COUNT";
/// U+FF1A FULLWIDTH COLON in UTF-8, which an input method gives for ':'.
constexpr TextRef fullWidthColon = "\xEF\xBC\x9A";
constexpr TextRef literalModifier = "{LITERAL}";
// A bare prefix this short is too close to ordinary capitalised words
// ("ID:", "TODO:") to guess at misspellings of it.
constexpr size_t shortestGuessedPrefix = 4;

} // namespace

NearDirectiveFinder::NearDirectiveFinder(const std::vector<TextRef> &checkPrefixes)
    : prefixes(checkPrefixes) {
  for (TextRef prefix : prefixes) {
    spellings.push_back({std::string(prefix), prefix.size()});
    for (const DirectiveSuffix &suffix : directiveSuffixes())
      spellings.push_back({std::string(prefix) + "-" + std::string(suffix.word), prefix.size()});
  }
  for (const Spelling &spelling : spellings) {
    shortest = std::min(shortest, spelling.text.size());
    longest = std::max(longest, spelling.text.size());
  }
}

const NearDirectiveFinder::Spelling *NearDirectiveFinder::nearest(TextRef word,
                                                                  TextRef hyphenated) const {
  const Spelling *best = nullptr;
  unsigned bestDistance = 2;
  for (const Spelling &spelling : spellings) {
    TextRef text = spelling.text;
    bool bare = spelling.prefixLength == text.size();
    if (bare && text.size() < shortestGuessedPrefix)
      continue;
    // CHECKED or CHECKSUM extend a prefix rather than misspell it, but
    // CHECK-NOTE or CHECK- is a directive gone wrong.
    auto extends = [&](TextRef longer) {
      return bare && longer.size() > text.size() && longer.starts_with(text) &&
             longer[text.size()] != '-';
    };
    if (extends(word) || extends(hyphenated))
      continue;
    unsigned distance = isOneSwapAway(word, text) ? 1 : editDistance(word, text, 1);
    if (hyphenated != word)
      distance = std::min(distance, isOneSwapAway(hyphenated, text)
                                        ? 1u
                                        : editDistance(hyphenated, text, 1));
    if (distance < bestDistance) {
      best = &spelling;
      bestDistance = distance;
    }
  }
  return best;
}

void NearDirectiveFinder::scanLine(TextRef line, std::vector<Finding> &findings) const {
  size_t pos = 0;
  while (pos < line.size()) {
    if (!isDirectiveWordChar(line[pos])) {
      ++pos;
      continue;
    }
    size_t end = pos;
    while (end < line.size() && isDirectiveWordChar(line[end]))
      ++end;
    // Longer words are directives gone wrong only when a colon or a
    // modifier list follows (CHECK-NEXT-LINE:).
    bool directiveEnd = end < line.size() && (line[end] == ':' || line[end] == '{');
    if (end - pos + 2 >= shortest && (end - pos <= longest + 2 || directiveEnd))
      checkWord(line, pos, end, findings);
    pos = end;
  }
}

void NearDirectiveFinder::checkWord(TextRef line, size_t start, size_t end,
                                    std::vector<Finding> &findings) const {
  TextRef word = line.substr(start, end - start);
  char next = end < line.size() ? line[end] : '\0';
  bool colonNext = next == ':';
  bool modifierNext = next == '{';
  // What a directive with this word would have shown: the word, and its
  // modifier list up to the character after the closing brace.
  TextRef shown = line.substr(start, end - start + (colonNext ? 1 : 0));
  size_t close = modifierNext ? line.find('}', end) : TextRef::npos;
  if (modifierNext) {
    size_t shownEnd = close == TextRef::npos ? line.size() : std::min(line.size(), close + 2);
    shown = line.substr(start, shownEnd - start);
  }
  auto isSpelling = [&](TextRef text) {
    return std::any_of(spellings.begin(), spellings.end(),
                       [&](const Spelling &spelling) { return spelling.text == text; });
  };

  if (!isAlnum(word[0])) {
    // A comment leader such as "--" glued to the prefix makes one word with
    // it, which ostrel does not read as a directive.
    size_t leader = 0;
    while (leader < word.size() && !isAlnum(word[leader]))
      ++leader;
    if ((colonNext || modifierNext) && isSpelling(word.substr(leader)))
      findings.push_back(mendable(shown, std::string(word.substr(0, leader)) + " " +
                                             std::string(shown.substr(leader))));
    return;
  }
  std::string hyphenated = withHyphens(word);

  for (TextRef prefix : prefixes) {
    if (!word.starts_with(prefix))
      continue;
    std::string afterPrefix = withHyphens(word.substr(prefix.size()));
    if (!TextRef(afterPrefix).starts_with(countWord))
      continue;
    TextRef count = TextRef(afterPrefix).substr(countWord.size());
    if (!(colonNext || modifierNext))
      return;
    if (count.empty())
      findings.push_back(badCount(shown, prefix));
    else if (std::all_of(count.begin(), count.end(), isDigit))
      findings.push_back(notADirective(LintCheck::BadCount, shown,
                                       std::string(prefix) + "-COUNT-" + std::string(count) +
                                           ":"));
    else if (count.size() > 1 && count[0] == '-' &&
             std::all_of(count.begin() + 1, count.end(), isDigit))
      findings.push_back(notADirective(LintCheck::MisspelledDirective, shown,
                                       std::string(prefix) + afterPrefix + ":"));
    return;
  }

  auto exact = std::find_if(spellings.begin(), spellings.end(),
                            [&](const Spelling &spelling) { return spelling.text == word; });
  if (exact != spellings.end()) {
    const std::string &meant = exact->text;
    bool suffixed = exact->prefixLength < meant.size();
    size_t afterBlanks = end;
    while (afterBlanks < line.size() && isBlank(line[afterBlanks]))
      ++afterBlanks;
    bool firstWord = std::none_of(line.begin(), line.begin() + start, isAlnum);
    TextRef rest = line.substr(end);
    if (afterBlanks > end && afterBlanks < line.size() && line[afterBlanks] == ':') {
      findings.push_back(mendable(line.substr(start, afterBlanks + 1 - start), meant + ":"));
    } else if (next == ';' || next == '=') {
      findings.push_back(mendable(line.substr(start, end + 1 - start), meant + ":"));
    } else if (rest.starts_with(fullWidthColon)) {
      findings.push_back(
          mendable(line.substr(start, end + fullWidthColon.size() - start), meant + ":"));
    } else if (modifierNext) {
      // A known modifier list in prose ("use CHECK{LITERAL}, not ...") is
      // left alone unless it starts the line as a directive would.
      bool known = close != TextRef::npos && line.substr(end + 1, close - end - 1) == "LITERAL";
      char after = close == TextRef::npos || close + 1 >= line.size() ? '\0' : line[close + 1];
      if (!known || (firstWord && (after == '\0' || isBlank(after))))
        findings.push_back(notADirective(LintCheck::MisspelledDirective, shown,
                                         meant + std::string(literalModifier) + ":"));
    } else if (suffixed && firstWord && (next == '\0' || isBlank(next))) {
      findings.push_back(mendable(word, meant + ":"));
    }
    return;
  }

  if (!(colonNext || modifierNext))
    return;
  std::string ending = modifierNext ? std::string(literalModifier) + ":" : ":";
  for (TextRef prefix : prefixes) {
    // A prefix, a hyphen and then no suffix, or a suffix and more words
    // (CHECK-:, CHECK-NEXT-LINE:).
    TextRef rest = word;
    if (!consumeFront(rest, prefix) || !consumeFront(rest, "-"))
      continue;
    if (rest.empty()) {
      findings.push_back(
          notADirective(LintCheck::MisspelledDirective, shown, std::string(prefix) + ending));
      return;
    }
    for (const DirectiveSuffix &suffix : directiveSuffixes()) {
      if (rest.starts_with(suffix.word) && rest.substr(suffix.word.size()).starts_with("-")) {
        findings.push_back(notADirective(
            LintCheck::MisspelledDirective, shown,
            std::string(prefix) + "-" + std::string(suffix.word) + ending));
        return;
      }
    }
  }
  for (const Spelling &spelling : spellings) {
    // A bare prefix in another case ("check:") is too common in prose, and
    // so are lower-case words joined by underscores (check_next: as a label
    // or a key).
    if (spelling.prefixLength < spelling.text.size() && equalIgnoringCase(word, spelling.text)) {
      findings.push_back(
          notADirective(LintCheck::MisspelledDirective, shown, spelling.text + ending));
      return;
    }
  }
  if (!isCapitalWord(word))
    return;
  if (const Spelling *spelling = nearest(word, hyphenated))
    findings.push_back(
        notADirective(LintCheck::MisspelledDirective, shown, spelling->text + ending));
}

void NearDirectiveFinder::rejectedDirective(const FoundDirective &directive,
                                            std::vector<Finding> &findings) const {
  DirectiveType type = directive.kind.type;
  if (type != DirectiveType::Misspelled && type != DirectiveType::BadCount)
    return;
  // The directive text ends where the reader's message points; show the
  // whole directive word and its colon instead.
  const char *lineEnd = directive.patternText.data() + directive.patternText.size();
  TextRef rest(directive.directive.data(),
               static_cast<size_t>(lineEnd - directive.directive.data()));
  size_t wordEnd = 0;
  while (wordEnd < rest.size() && rest[wordEnd] != ':' && !isBlank(rest[wordEnd]))
    ++wordEnd;
  if (wordEnd < rest.size() && rest[wordEnd] == ':')
    ++wordEnd;
  TextRef shown = rest.substr(0, wordEnd);

  if (type == DirectiveType::Misspelled)
    // The underscore the reader found is the one right after the prefix.
    findings.push_back(mendable(shown, std::string(directive.prefix) + "-" +
                                           std::string(shown.substr(directive.prefix.size() + 1))));
  else
    findings.push_back(badCount(shown, directive.prefix));
}

} // namespace ostrel
