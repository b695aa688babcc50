#include "lint/RegexEscapes.h"

#include "support/regex/CompiledRegex.h"

#include <algorithm>

namespace ostrel {

namespace {

struct ForeignEscape {
  char letter;
  /// What the expression matches instead: the letter or the character.
  const char *matches;
  const char *advice;
  /// What the escape means in the dialects that give it a meaning, written
  /// for Ostrel, when that is the same set of characters; null otherwise.
  const char *replacement;
  /// The members to write inside a bracket expression, where a backslash is itself a member.
  const char *bracketReplacement;
};

constexpr ForeignEscape foreignEscapes[] = {
    {'d', "the letter 'd'", "use '[0-9]'", "[0-9]", "0-9"},
    {'D', "the letter 'D'", "use '[^0-9]'", "[^0-9]", nullptr},
    {'s', "the letter 's'", "use '[[:space:]]'", "[[:space:]]", "[:space:]"},
    {'S', "the letter 'S'", "use '[^[:space:]]'", "[^[:space:]]", nullptr},
    {'w', "the letter 'w'", "use '[[:alnum:]_]'", "[[:alnum:]_]", "[:alnum:]_"},
    {'W', "the letter 'W'", "use '[^[:alnum:]_]'", "[^[:alnum:]_]", nullptr},
    {'b', "the letter 'b'", "use '[[:<:]]' or '[[:>:]]'", nullptr, nullptr},
    {'B', "the letter 'B'", "write 'B' if the letter is meant", nullptr, nullptr},
    {'<', "the character '<'", "use '[[:<:]]'", nullptr, nullptr},
    {'>', "the character '>'", "use '[[:>:]]'", nullptr, nullptr},
    {'t', "the letter 't'", "use '[[:blank:]]' for a tab or a blank", nullptr, nullptr},
    {'n', "the letter 'n'",
     "a pattern matches within one line; match the next line with a -NEXT directive", nullptr,
     nullptr},
    {'x', "the letter 'x'", "write the character itself", nullptr, nullptr},
};

const ForeignEscape *foreignEscape(char letter) {
  auto found = std::find_if(std::begin(foreignEscapes), std::end(foreignEscapes),
                            [&](const ForeignEscape &e) { return e.letter == letter; });
  return found == std::end(foreignEscapes) ? nullptr : found;
}

Finding escapeFinding(TextRef escape, const std::string &message, const char *replacement) {
  Finding finding{LintCheck::RegexEscape, escape.data(), SourceRange::of(escape), message};
  if (replacement)
    finding.fix = FixIt{SourceRange::of(escape), replacement};
  return finding;
}

} // namespace

void findRegexEscapes(TextRef expression, std::vector<Finding> &findings) {
  // A definition's expression ends at the first "]]", which a replacement
  // holding brackets could bring forward; only {{...}} blocks are mended.
  bool mendable = expression.data()[-1] == '{';
  auto fixFor = [&](const char *replacement) { return mendable ? replacement : nullptr; };
  size_t i = 0;
  while (i < expression.size()) {
    char c = expression[i];
    if (c == '[') {
      size_t length = bracketExpressionLength(expression.substr(i));
      TextRef bracket = expression.substr(i, length);
      for (size_t k = 1; k + 1 < bracket.size(); ++k) {
        const ForeignEscape *escape = bracket[k] == '\\' ? foreignEscape(bracket[k + 1]) : nullptr;
        if (escape && escape->bracketReplacement)
          findings.push_back(escapeFinding(
              bracket.substr(k, 2), "'\\" + std::string(1, escape->letter) +
                                        "' in a bracket expression matches '\\' or " +
                                        escape->matches + "; use '" +
                                        escape->bracketReplacement + "'",
              fixFor(escape->bracketReplacement)));
      }
      i += length;
      continue;
    }
    if (c == '\\' && i + 1 < expression.size()) {
      if (const ForeignEscape *escape = foreignEscape(expression[i + 1]))
        findings.push_back(escapeFinding(expression.substr(i, 2),
                                         "'\\" + std::string(1, escape->letter) + "' matches " +
                                             escape->matches + "; " + escape->advice,
                                         fixFor(escape->replacement)));
      i += 2;
      continue;
    }
    ++i;
  }
}

} // namespace ostrel
