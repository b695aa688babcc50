#include "update/Scrubber.h"

#include <algorithm>

namespace {

struct BuiltInRule {
  TextRef name;
  TextRef stem;
  TextRef finder;
  TextRef written;
  ValueBoundary boundary;
  bool needsDigit;
};

// Several rules may share a name; they then share the variables, so a value
// is related to its other occurrences whichever form found it. No written
// expression ends with "}", which would run into the "}}" that closes it.
constexpr BuiltInRule builtInRules[] = {
    {"hex", "HEX", "0x[0-9a-fA-F]+", "0x[0-9a-fA-F]+", ValueBoundary::Word, false},
    {"hex", "HEX", "[0-9a-fA-F]{8,}", "[0-9a-fA-F]+", ValueBoundary::Word, true},
    {"tmp", "TMP", "(/private)?(/var)?/tmp(/[-A-Za-z0-9._+~%@]*)*",
     "(/private)?(/var)?/tmp[-A-Za-z0-9._+~%@/]*", ValueBoundary::Word, false},
    {"date", "DATE", "[0-9]{4}[-/][0-9]{2}[-/][0-9]{2}", "[0-9]{4}[-/][0-9]{2}[-/][0-9][0-9]",
     ValueBoundary::Digits, false},
    {"time", "TIME", "[0-9]{2}:[0-9]{2}(:[0-9]{2}([.,][0-9]+)?)?",
     "[0-9][0-9]:[0-9][0-9](:[0-9][0-9]([.,][0-9]+)?)?", ValueBoundary::Digits, false},
    {"duration", "DURATION", "[0-9]+(\\.[0-9]+)? ?(ns|us|\xC2\xB5s|ms|s|sec|secs|seconds|min|m|h)",
     "[0-9]+(\\.[0-9]+)? ?(ns|us|\xC2\xB5s|ms|s|sec|secs|seconds|min|m|h)", ValueBoundary::Word,
     false},
};

bool isWordByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
bool isDigitByte(char c) { return c >= '0' && c <= '9'; }

/// True when `expression` ends exactly where a variable definition holding
/// it would end: the reader walks it with a bracket depth and stops at the
/// first "]]" outside brackets, and a "]" outside brackets is fatal.
bool fitsInDefinition(TextRef expression) {
  std::string text = std::string(expression) + "]]";
  int depth = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (depth == 0 && text.compare(i, 2, "]]") == 0)
      return i == expression.size();
    if (text[i] == '\\')
      ++i;
    else if (text[i] == '[')
      ++depth;
    else if (text[i] == ']' && depth-- == 0)
      return false;
  }
  return false;
}

bool validStem(TextRef name) {
  if (name.empty() || !(isWordByte(name[0]) && !isDigitByte(name[0])) || isDigitByte(name.back()))
    return false;
  return std::all_of(name.begin(), name.end(), isWordByte);
}

std::optional<Scrubber> makeScrubber(TextRef stem, TextRef finder, TextRef written,
                                     ValueBoundary boundary, bool needsDigit,
                                     std::string &error) {
  Scrubber rule;
  rule.stem = std::string(stem);
  rule.finder = CompiledRegex(finder);
  rule.written = std::string(written);
  rule.boundary = boundary;
  rule.needsDigit = needsDigit;
  std::string regexError;
  if (!rule.finder.checkValid(regexError)) {
    error = "invalid regular expression '" + std::string(finder) + "': " + regexError;
    return std::nullopt;
  }
  if (rule.written.find("}}") != std::string::npos) {
    error = "the expression '" + rule.written + "' holds \"}}\", which a check file cannot enclose";
    return std::nullopt;
  }
  if (!rule.written.empty() && rule.written.back() == '}')
    rule.written = "(" + rule.written + ")";
  rule.writtenGroups = CompiledRegex(rule.written).groupCount();
  rule.capturable = fitsInDefinition(rule.written);
  return rule;
}

} // namespace

TextRef builtInScrubberNames() { return "hex, tmp, date, time, duration"; }

std::optional<std::vector<Scrubber>> parseScrubOption(TextRef value, std::string &error) {
  std::vector<Scrubber> rules;
  size_t equals = value.find('=');
  if (equals == TextRef::npos) {
    for (const BuiltInRule &entry : builtInRules) {
      if (entry.name != value)
        continue;
      std::optional<Scrubber> rule = makeScrubber(entry.stem, entry.finder, entry.written,
                                                  entry.boundary, entry.needsDigit, error);
      if (!rule)
        return std::nullopt;
      rules.push_back(std::move(*rule));
    }
    if (rules.empty())
      error = "unknown scrubber '" + std::string(value) + "' (built in: " +
              std::string(builtInScrubberNames()) + "; or NAME=ERE)";
    return rules.empty() ? std::nullopt : std::optional(std::move(rules));
  }
  TextRef name = value.substr(0, equals);
  TextRef expression = value.substr(equals + 1);
  if (!validStem(name)) {
    error = "scrubber name '" + std::string(name) +
            "' must be a letter or '_' followed by letters, digits and '_', not ending in a digit";
    return std::nullopt;
  }
  if (expression.empty()) {
    error = "scrubber '" + std::string(name) + "' has an empty expression";
    return std::nullopt;
  }
  std::optional<Scrubber> rule =
      makeScrubber(name, expression, expression, ValueBoundary::None, false, error);
  if (!rule)
    return std::nullopt;
  rules.push_back(std::move(*rule));
  return rules;
}

void findScrubSpans(TextRef line, const std::vector<Scrubber> &rules,
                    std::vector<ScrubSpan> &spans) {
  size_t firstNew = spans.size();
  std::vector<TextRef> groups;
  auto overlaps = [&](size_t start, size_t end) {
    for (size_t i = firstNew; i < spans.size(); ++i)
      if (start < spans[i].end && spans[i].start < end)
        return true;
    return false;
  };
  for (unsigned index = 0; index < rules.size(); ++index) {
    const Scrubber &rule = rules[index];
    size_t from = 0;
    while (from < line.size() && rule.finder.search(line.substr(from), &groups)) {
      size_t start = static_cast<size_t>(groups[0].data() - line.data());
      size_t end = start + groups[0].size();
      bool accepted = end > start && !overlaps(start, end);
      if (accepted && rule.boundary != ValueBoundary::None) {
        auto touches = rule.boundary == ValueBoundary::Word ? isWordByte : isDigitByte;
        accepted = !(start > 0 && touches(line[start - 1])) &&
                   !(end < line.size() && touches(line[end]));
      }
      if (accepted && rule.needsDigit)
        accepted = std::any_of(line.begin() + start, line.begin() + end, isDigitByte);
      if (accepted) {
        spans.push_back(ScrubSpan{start, end, index});
        from = end;
      } else {
        from = start + 1;
      }
    }
  }
  std::sort(spans.begin() + firstNew, spans.end(),
            [](const ScrubSpan &a, const ScrubSpan &b) { return a.start < b.start; });
}
