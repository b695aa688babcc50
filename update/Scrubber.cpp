#include "update/Scrubber.h"

#include <algorithm>

namespace ostrel {

namespace {

struct BuiltInRule {
  TextRef name;
  TextRef stem;
  TextRef finder;
  TextRef written;
  ValueBoundary boundary;
  bool needsDigit = false;
  unsigned valueGroup = 0;
  bool lineStart = false;
  bool folderOnly = false;
  bool relates = true;
};

#define WEEKDAY "(Mon|Tue|Wed|Thu|Fri|Sat|Sun)"
#define MONTH "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)"
#define CLOCK "[0-9][0-9]:[0-9][0-9]:[0-9][0-9]"
#define FRACTION "([.,][0-9]+)?"
#define ISO_DATE "[0-9]{4}[-/][0-9][0-9][-/][0-9][0-9]"
#define ISO_ZONE "(Z|[+-][0-9][0-9](:?[0-9][0-9])?)?"
#define DATE_1 WEEKDAY " " MONTH " +[0-9]{1,2} " CLOCK "( [A-Z]{2,5}| [+-][0-9]{4})? [0-9]{4}"
#define RFC_2822                                                                               \
  "(" WEEKDAY ", )?[0-9]{1,2} " MONTH " [0-9]{4} [0-9][0-9]:[0-9][0-9](:[0-9][0-9])? "         \
  "([+-][0-9]{4}|[A-Z]{2,5})"
#define ISO_8601 ISO_DATE "([T ][0-9][0-9]:[0-9][0-9](:[0-9][0-9]" FRACTION ")?" ISO_ZONE ")?"
#define DURATION_UNIT                                                                          \
  "(ns|us|\xC2\xB5s|ms|s|secs?|seconds?|m|mins?|minutes?|h|hrs?|hours?|d|days?)"

// The fixed order in which the built-in rules apply (after the user's own):
// earlier rules win where values would overlap, so a path is taken whole
// before a hex word inside it, a timestamp before its time, and objdump's
// addresses before bare hex. Several rules may share a name; they then share
// the variables, so a value is related to its other occurrences whichever
// form found it. No written expression ends with "}", which would run into
// the "}}" that closes it.
const BuiltInRule builtInRules[] = {
    {"tmp", "TMP", "(/private)?(/var)?/tmp(/[-A-Za-z0-9._+~%@]+)*",
     "(/private)?(/var)?/tmp(/[-A-Za-z0-9._+~%@]+)*", ValueBoundary::Word, false, 0, false, true},
    // date(1)'s default, RFC 2822, ISO 8601 (a date, maybe a time and a
    // zone), syslog.
    {"date", "DATE", DATE_1, DATE_1, ValueBoundary::Word, false, 0, false, false, false},
    {"date", "DATE", RFC_2822, RFC_2822, ValueBoundary::Word, false, 0, false, false, false},
    {"date", "DATE", ISO_8601, ISO_8601, ValueBoundary::Digits, false, 0, false, false, false},
    {"date", "DATE", MONTH " +[0-9]{1,2} " CLOCK, MONTH " +[0-9]{1,2} " CLOCK, ValueBoundary::Word,
     false, 0, false, false, false},
    {"time", "TIME", "[0-9]{1,2}:[0-9][0-9]:[0-9][0-9]" FRACTION "( ?[AaPp][Mm])?",
     "[0-9][0-9]?:[0-9][0-9]:[0-9][0-9]" FRACTION "( ?[AaPp][Mm])?", ValueBoundary::Digits, false, 0,
     false, false, false},
    // 12ms, 1.5 s, 3 seconds, and time(1)'s 0m1.234s or 1h2m3s.
    {"duration", "DURATION", "([0-9]+h)?([0-9]+m)?[0-9]+(\\.[0-9]+)? ?" DURATION_UNIT,
     "([0-9]+h)?([0-9]+m)?[0-9]+(\\.[0-9]+)? ?" DURATION_UNIT, ValueBoundary::Word, false, 0, false,
     false, false},
    // objdump -d: the address column, a symbol's address, a branch target
    // before "<symbol>", and the offset in "<symbol+0x1a>"; an instruction's
    // immediate ($0xff) and displacement stay checked.
    {"addr", "ADDR", "^[ \t]*([0-9a-f]+):", "[0-9a-f]+", ValueBoundary::None, false, 1, true},
    {"addr", "ADDR", "^([0-9a-f]+) <", "[0-9a-f]+", ValueBoundary::None, false, 1, true},
    {"addr", "ADDR", "([0-9a-f]+) <[^>]*>", "[0-9a-f]+", ValueBoundary::Word, false, 1},
    {"addr", "ADDR", "<[^>+]*\\+(0x[0-9a-f]+)>", "0x[0-9a-f]+", ValueBoundary::None, false, 1},
    {"hex", "HEX", "0x[0-9a-fA-F]+", "0x[0-9a-fA-F]+", ValueBoundary::Word},
    {"hex", "HEX", "[0-9a-fA-F]{8,}", "[0-9a-fA-F]+", ValueBoundary::Word, true},
};

#undef WEEKDAY
#undef MONTH
#undef CLOCK
#undef FRACTION
#undef ISO_DATE
#undef ISO_ZONE
#undef DURATION_UNIT
#undef DATE_1
#undef RFC_2822
#undef ISO_8601

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

/// The expression as a directive writes it: one that ends with "}" is
/// enclosed, since it would run into the "}}" that closes its block.
std::string writtenForm(TextRef expression) {
  std::string written(expression);
  if (!written.empty() && written.back() == '}')
    written = "(" + written + ")";
  return written;
}

std::optional<Scrubber> makeScrubber(TextRef stem, TextRef finder, TextRef written,
                                     std::string &error) {
  Scrubber rule;
  rule.stem = std::string(stem);
  rule.finder = CompiledRegex(finder);
  rule.written = writtenForm(written);
  std::string regexError;
  if (!rule.finder.checkValid(regexError)) {
    error = "invalid regular expression '" + std::string(finder) + "': " + regexError;
    return std::nullopt;
  }
  if (rule.written.find("}}") != std::string::npos) {
    error = "the expression '" + rule.written + "' holds \"}}\", which a check file cannot enclose";
    return std::nullopt;
  }
  rule.writtenGroups = CompiledRegex(rule.written).groupCount();
  rule.capturable = fitsInDefinition(rule.written);
  return rule;
}

} // namespace

TextRef builtInScrubberNames() { return "tmp, date, time, duration, addr, hex"; }

bool isBuiltInExpression(TextRef expression) {
  // Made once: a test file may hold a million blocks to recognise.
  static const std::vector<std::string> writtenForms = [] {
    std::vector<std::string> forms;
    for (const BuiltInRule &rule : builtInRules)
      forms.push_back(writtenForm(rule.written));
    return forms;
  }();
  return std::find(writtenForms.begin(), writtenForms.end(), expression) != writtenForms.end();
}

std::optional<std::vector<Scrubber>> parseScrubOption(TextRef value, std::string &error) {
  std::vector<Scrubber> rules;
  size_t equals = value.find('=');
  if (equals == TextRef::npos) {
    for (size_t index = 0; index < std::size(builtInRules); ++index) {
      const BuiltInRule &entry = builtInRules[index];
      if (entry.name != value)
        continue;
      std::optional<Scrubber> rule = makeScrubber(entry.stem, entry.finder, entry.written, error);
      if (!rule)
        return std::nullopt;
      rule->boundary = entry.boundary;
      rule->needsDigit = entry.needsDigit;
      rule->valueGroup = entry.valueGroup;
      rule->lineStart = entry.lineStart;
      rule->folderOnly = entry.folderOnly;
      rule->relates = entry.relates;
      rule->precedence = static_cast<unsigned>(index) + 1;
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
  std::optional<Scrubber> rule = makeScrubber(name, expression, expression, error);
  if (!rule)
    return std::nullopt;
  if (rule->finder.search("")) {
    error = "scrubber '" + std::string(name) +
            "' matches the empty text, so the directives written with it would check nothing";
    return std::nullopt;
  }
  rules.push_back(std::move(*rule));
  return rules;
}

void orderScrubbers(std::vector<Scrubber> &rules) {
  std::stable_sort(rules.begin(), rules.end(), [](const Scrubber &a, const Scrubber &b) {
    return a.precedence < b.precedence;
  });
}

namespace {

/// Where a path's temporary folder ends: before the last component when
/// more than one follows the "tmp" component.
size_t folderEnd(TextRef path, size_t start, size_t end) {
  size_t tmp = path.find("/tmp", start);
  size_t afterTmp = tmp + 4;
  size_t last = path.rfind('/', end - 1);
  return last > afterTmp && last < end ? last : end;
}

} // namespace

namespace {

/// A search of `line` from `from` on. The expression engine's cost per
/// search grows with the rest of the line, so a long line is searched in a
/// window first; a match well inside it is the one the whole rest would
/// give, unless a value longer than half the window started before it.
bool searchFrom(const CompiledRegex &finder, TextRef line, size_t from,
                std::vector<TextRef> &groups) {
  constexpr size_t window = size_t(1) << 16;
  TextRef rest = line.substr(from);
  if (rest.size() > window) {
    TextRef part = rest.substr(0, window);
    if (finder.search(part, &groups)) {
      size_t start = static_cast<size_t>(groups[0].data() - part.data());
      if (start < window / 2 && start + groups[0].size() < window)
        return true;
    }
  }
  return finder.search(rest, &groups);
}

} // namespace

void findScrubSpans(TextRef line, const std::vector<Scrubber> &rules,
                    std::vector<ScrubSpan> &spans) {
  size_t firstNew = spans.size();
  std::vector<TextRef> groups;
  // The values of earlier rules, kept sorted: a later value is checked
  // against them with one binary search, so a line of many values costs no
  // more than its values times a logarithm.
  // Answers the end of the value that [start, end) overlaps, or 0.
  auto overlapped = [&](size_t start, size_t end) -> size_t {
    auto after = std::upper_bound(spans.begin() + static_cast<std::ptrdiff_t>(firstNew),
                                  spans.end(), start,
                                  [](size_t at, const ScrubSpan &span) { return at < span.end; });
    return after != spans.end() && after->start < end ? after->end : 0;
  };
  std::vector<ScrubSpan> found;
  for (unsigned index = 0; index < rules.size(); ++index) {
    const Scrubber &rule = rules[index];
    found.clear();
    size_t from = 0;
    while (from < line.size() && searchFrom(rule.finder, line, from, groups)) {
      size_t matchStart = static_cast<size_t>(groups[0].data() - line.data());
      size_t matchEnd = matchStart + groups[0].size();
      TextRef value = rule.valueGroup < groups.size() ? groups[rule.valueGroup] : TextRef();
      size_t start = value.data() ? static_cast<size_t>(value.data() - line.data()) : 0;
      size_t end = start + value.size();
      if (value.data() && rule.folderOnly)
        end = folderEnd(line, start, end);
      size_t blockedUntil = value.data() ? overlapped(start, end) : 0;
      bool accepted = value.data() && end > start && blockedUntil == 0;
      if (accepted && rule.boundary != ValueBoundary::None) {
        auto touches = rule.boundary == ValueBoundary::Word ? isWordByte : isDigitByte;
        accepted = !(start > 0 && touches(line[start - 1])) &&
                   !(end < line.size() && touches(line[end]));
      }
      if (accepted && rule.needsDigit)
        accepted = std::any_of(line.begin() + start, line.begin() + end, isDigitByte);
      if (accepted)
        found.push_back(ScrubSpan{start, end, index});
      if (rule.lineStart)
        break;
      // A match inside a value already taken resumes after that value, so a
      // long value is not searched again at each of its bytes.
      from = std::max({accepted ? matchEnd : 0, matchStart + 1, blockedUntil});
    }
    size_t middle = spans.size();
    spans.insert(spans.end(), found.begin(), found.end());
    std::inplace_merge(spans.begin() + static_cast<std::ptrdiff_t>(firstNew),
                       spans.begin() + static_cast<std::ptrdiff_t>(middle), spans.end(),
                       [](const ScrubSpan &a, const ScrubSpan &b) { return a.start < b.start; });
  }
}

} // namespace ostrel
