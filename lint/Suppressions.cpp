#include "lint/Suppressions.h"

#include <algorithm>

namespace ostrel {

namespace {

constexpr TextRef mark = "ostrel-lint:";

struct Suppression {
  LintCheck check;
  /// Where the check is named in the comment.
  TextRef name;
  /// The stretch of text whose findings it silences.
  const char *from;
  const char *to;
  bool wholeFile;
  bool used = false;
};

size_t lineStartOf(TextRef text, size_t at) {
  size_t lineFeed = at == 0 ? TextRef::npos : text.rfind('\n', at - 1);
  return lineFeed == TextRef::npos ? 0 : lineFeed + 1;
}

/// The text of a suppression comment after the mark, if `directive` is one.
bool suppressionText(const FoundDirective &directive, TextRef &rest) {
  rest = trim(directive.patternText, " \t");
  return directive.kind.type == DirectiveType::Comment && consumeFront(rest, mark);
}

Finding unusedSuppression(TextRef shown, std::string message) {
  return Finding{LintCheck::UnusedSuppression, shown.data(), SourceRange::of(shown),
                 std::move(message)};
}

} // namespace

void applySuppressions(TextRef text, const std::vector<FoundDirective> &directives,
                       std::vector<Finding> &findings) {
  // The lines that hold a suppression comment, by their start.
  std::vector<size_t> commentLines;
  for (const FoundDirective &directive : directives) {
    TextRef rest;
    if (suppressionText(directive, rest))
      commentLines.push_back(lineStartOf(text, directive.directive.data() - text.data()));
  }
  if (commentLines.empty())
    return;

  std::vector<Suppression> suppressions;
  std::vector<Finding> problems;
  for (const FoundDirective &directive : directives) {
    TextRef rest;
    if (!suppressionText(directive, rest))
      continue;
    rest = trimLeft(rest, " \t");
    size_t wordEnd = std::min(rest.find_first_of(" \t"), rest.size());
    TextRef form = rest.substr(0, wordEnd);
    bool wholeFile = form == "ignore-file";
    if (!wholeFile && form != "ignore") {
      problems.push_back(unusedSuppression(
          directive.directive, "'" + std::string(mark) + " " + std::string(form) +
                                   "' is not a suppression; write 'ignore <check>' or "
                                   "'ignore-file <check>'"));
      continue;
    }
    const char *from = text.data();
    const char *to = text.data() + text.size();
    if (!wholeFile) {
      size_t line = findLineEnd(text, directive.directive.data() - text.data()) + 1;
      while (line <= text.size() &&
             std::binary_search(commentLines.begin(), commentLines.end(), line))
        line = findLineEnd(text, line) + 1;
      from = text.data() + std::min(line, text.size());
      to = text.data() + std::min(findLineEnd(text, std::min(line, text.size())), text.size());
    }
    TextRef names = rest.substr(wordEnd);
    bool anyName = false;
    while (true) {
      size_t start = names.find_first_not_of(" \t,");
      if (start == TextRef::npos)
        break;
      size_t end = std::min(names.find_first_of(" \t,", start), names.size());
      TextRef name = names.substr(start, end - start);
      names = names.substr(end);
      anyName = true;
      if (std::optional<LintCheck> check = checkNamed(name))
        suppressions.push_back({*check, name, from, to, wholeFile});
      else
        problems.push_back(unusedSuppression(name, "no check is named '" + std::string(name) +
                                                       "'"));
    }
    if (!anyName)
      problems.push_back(unusedSuppression(directive.directive,
                                           "the suppression names no check to ignore"));
  }

  std::erase_if(findings, [&](const Finding &finding) {
    bool silenced = false;
    for (Suppression &suppression : suppressions) {
      if (suppression.check == finding.check && finding.location >= suppression.from &&
          finding.location <= suppression.to) {
        suppression.used = true;
        silenced = true;
      }
    }
    return silenced;
  });
  for (const Suppression &suppression : suppressions)
    if (!suppression.used)
      problems.push_back(unusedSuppression(
          suppression.name, "nothing to ignore: no " + std::string(checkName(suppression.check)) +
                                (suppression.wholeFile ? " finding in the file"
                                                       : " finding on the line below")));
  findings.insert(findings.end(), problems.begin(), problems.end());
}

} // namespace ostrel
