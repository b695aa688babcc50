// Reading a check file: preparing its text, finding and classifying the
// directives, and grouping their patterns into check steps.

#include "engine/CheckEngine.h"

#include "engine/numeric/EngineErrors.h"
#include "engine/numeric/VariableContext.h"
#include "support/diag/FatalError.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <set>
#include <string>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

bool isWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '_';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

/// What follows a prefix occurrence: the directive kind and where its tail
/// (the text after the colon, or the place a message points at) begins, as
/// an offset from the start of the occurrence.
struct Classification {
  CheckKind kind;
  size_t tail = 0;
};

constexpr Classification invalid{};

/// Reads "{LITERAL,...}:" or ":" at `pos` of `text` for a directive of `kind`.
Classification readModifiers(TextRef text, size_t pos, CheckKind kind) {
  auto skipSpace = [&] {
    while (pos < text.size() && isSpaceByte(text[pos]))
      ++pos;
  };
  if (pos >= text.size())
    return invalid;
  if (text[pos] == ':')
    return {kind, pos + 1};
  if (text[pos] != '{')
    return invalid;
  do {
    ++pos; // the "{" or ","
    skipSpace();
    if (!text.substr(pos).starts_with("LITERAL"))
      return invalid;
    pos += 7;
    kind.setLiteral();
    skipSpace();
  } while (pos < text.size() && text[pos] == ',');
  if (!text.substr(pos).starts_with("}:"))
    return invalid;
  return {kind, pos + 2};
}

/// Reads an optionally negative decimal number at `pos`; false when there is
/// no digit or the value does not fit 64 signed bits. `pos` ends after it.
bool readCount(TextRef text, size_t &pos, int64_t &value) {
  size_t p = pos;
  bool negative = p < text.size() && text[p] == '-';
  if (negative)
    ++p;
  if (p >= text.size() || !isDigit(text[p]))
    return false;
  // Accumulate the magnitude; the negative range is one larger.
  uint64_t limit = negative ? uint64_t(1) << 63 : uint64_t(std::numeric_limits<int64_t>::max());
  uint64_t magnitude = 0;
  for (; p < text.size() && isDigit(text[p]); ++p) {
    uint64_t digit = static_cast<uint64_t>(text[p] - '0');
    if (magnitude > (limit - digit) / 10)
      return false;
    magnitude = magnitude * 10 + digit;
  }
  value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  pos = p;
  return true;
}

struct SuffixWord {
  TextRef word;
  DirectiveType type;
};

constexpr TextRef badNotCombinations[] = {"DAG-NOT:",  "NOT-DAG:",  "NEXT-NOT:",  "NOT-NEXT:",
                                         "SAME-NOT:", "NOT-SAME:", "EMPTY-NOT:", "NOT-EMPTY:"};

// Tried in this order, after the -COUNT and bad -NOT forms.
constexpr SuffixWord suffixWords[] = {
    {"NEXT", DirectiveType::Next}, {"SAME", DirectiveType::Same},   {"NOT", DirectiveType::Not},
    {"DAG", DirectiveType::Dag},   {"LABEL", DirectiveType::Label}, {"EMPTY", DirectiveType::Empty},
};

/// Classifies the occurrence of `prefix` at the start of `text`.
Classification classify(TextRef text, TextRef prefix, const std::vector<TextRef> &commentPrefixes) {
  if (text.size() <= prefix.size())
    return invalid;
  size_t pos = prefix.size();
  if (std::find(commentPrefixes.begin(), commentPrefixes.end(), prefix) != commentPrefixes.end()) {
    if (text[pos] == ':')
      return {CheckKind(DirectiveType::Comment), pos + 1};
    return invalid;
  }
  if (text[pos] == ':')
    return {CheckKind(DirectiveType::Plain), pos + 1};
  if (text[pos] == '{')
    return readModifiers(text, pos, CheckKind(DirectiveType::Plain));

  bool misspelled = text[pos] == '_';
  if (!misspelled && text[pos] != '-')
    return invalid;
  ++pos;
  TextRef suffix = text.substr(pos);

  Classification result = invalid;
  if (suffix.starts_with("COUNT-")) {
    size_t numberStart = pos + 6;
    size_t after = numberStart;
    int64_t count = 0;
    if (!readCount(text, after, count))
      result = {CheckKind(DirectiveType::BadCount), numberStart};
    else if (count < 1 || count > std::numeric_limits<int32_t>::max() || after >= text.size() ||
             (text[after] != ':' && text[after] != '{'))
      result = {CheckKind(DirectiveType::BadCount), after};
    else
      result = readModifiers(text, after,
                             CheckKind(DirectiveType::Plain, static_cast<int32_t>(count)));
  } else if (std::any_of(std::begin(badNotCombinations), std::end(badNotCombinations),
                         [&](TextRef combo) { return suffix.starts_with(combo); })) {
    result = {CheckKind(DirectiveType::BadNot), pos};
  } else {
    for (const SuffixWord &entry : suffixWords) {
      if (suffix.starts_with(entry.word)) {
        result = readModifiers(text, pos + entry.word.size(), CheckKind(entry.type));
        break;
      }
    }
  }
  if (misspelled && result.kind.type != DirectiveType::Invalid)
    result.kind = CheckKind(DirectiveType::Misspelled);
  return result;
}

/// Finds the leftmost (longest) prefix occurrence in `text`, as an offset and
/// a length. The search goes window by window, so that finding a directive
/// costs time in proportion to the distance to it, however long the rest of
/// the text is. Windows overlap by the longest prefix, so an occurrence that
/// starts in a window is seen whole.
bool findPrefix(const CompiledRegex &matcher, TextRef text, size_t longestPrefix,
                std::vector<TextRef> &groups, size_t &offset, size_t &length) {
  constexpr size_t window = 1 << 16;
  size_t start = 0;
  while (true) {
    size_t available = text.size() - start;
    bool last = longestPrefix == 0 || available <= window + longestPrefix;
    TextRef part = last ? text.substr(start) : text.substr(start, window + longestPrefix);
    if (matcher.search(part, &groups) && !groups.empty()) {
      size_t at = static_cast<size_t>(groups[0].data() - part.data());
      if (last || at < window) {
        offset = start + at;
        length = groups[0].size();
        return true;
      }
    }
    if (last)
      return false;
    start += window;
  }
}

} // namespace

namespace {

/// The first place at or after `p` that preparation changes: a carriage
/// return, or (unless whitespace is strict) a tab or a blank followed by a
/// blank or tab. Sixteen bytes at a time where SSE2 is available.
const char *findPreparationPoint(const char *p, const char *end, bool strict) {
  auto special = [&](const char *q) {
    char c = *q;
    if (c == '\r')
      return true;
    if (strict)
      return false;
    return c == '\t' || (c == ' ' && q + 1 < end && (q[1] == ' ' || q[1] == '\t'));
  };
#ifdef __SSE2__
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i tab = _mm_set1_epi8('\t');
  const __m128i blank = _mm_set1_epi8(' ');
  while (end - p >= 17) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, cr)));
    if (!strict) {
      __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 1));
      __m128i isTab = _mm_cmpeq_epi8(bytes, tab);
      __m128i blankThenWhite =
          _mm_and_si128(_mm_cmpeq_epi8(bytes, blank),
                        _mm_or_si128(_mm_cmpeq_epi8(next, blank), _mm_cmpeq_epi8(next, tab)));
      mask |= static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(isTab, blankThenWhite)));
    }
    if (mask)
      return p + __builtin_ctz(mask);
    p += 16;
  }
#endif
  while (p < end && !special(p))
    ++p;
  return p;
}

} // namespace

TextRef CheckEngine::prepareText(TextRef source, std::string &buffer) const {
  buffer.resize(source.size() + 1);
  char *out = buffer.data();
  const char *p = source.data();
  const char *end = p + source.size();
  while (p < end) {
    const char *stop = findPreparationPoint(p, end, opts.strictWhitespace);
    std::memcpy(out, p, stop - p);
    out += stop - p;
    p = stop;
    if (p == end)
      break;
    char c = *p;
    if (c == '\r') {
      if (!(p + 1 < end && p[1] == '\n'))
        *out++ = c;
      ++p;
      continue;
    }
    *out++ = ' ';
    while (p < end && (*p == ' ' || *p == '\t'))
      ++p;
  }
  *out = '\0';
  size_t length = static_cast<size_t>(out - buffer.data());
  buffer.resize(length + 1);
  return TextRef(buffer.data(), length);
}

namespace {

/// A directive found in the check text.
struct Directive {
  CheckKind kind;
  /// The prefix as written.
  TextRef prefix;
  /// From the prefix up to the end of the directive: after its colon, or,
  /// for a malformed one, where its message points.
  TextRef text;
};

/// One run of the reader over a check text. It finds the directives one
/// after another, parses their patterns, and gathers the NOT and DAG
/// patterns until the positive directive that closes their step.
class CheckFileReader {
public:
  CheckFileReader(const CheckOptions &options, VariableContext &context,
                  std::vector<CheckStep> &steps, SourceRegistry &registry, DiagnosticSink &sink)
      : options(options), context(context), steps(steps), registry(registry), sink(sink) {}

  /// Registers and parses the patterns of the implicit-check-not option.
  ErrorValue readImplicitPatterns(std::pair<unsigned, unsigned> *implicitBufferRange);
  /// Reads every directive of `checkText` into the steps.
  ErrorValue read(TextRef checkText, const CompiledRegex &prefixMatcher);

private:
  /// The next directive in `rest`, which then starts after it.
  std::optional<Directive> findNextDirective(const CompiledRegex &prefixMatcher,
                                             size_t longestPrefix);
  ErrorValue handleDirective(const Directive &directive);
  /// Reports the kinds that are always an error.
  ErrorValue rejectMalformed(const Directive &directive) const;
  /// The pattern text after a directive, up to the end of its line.
  TextRef takePatternText();
  /// Reports a LABEL with variables, and a line rule with no line before it.
  ErrorValue checkPlacement(const Directive &directive, const CheckPattern &pattern) const;
  /// Reports the check prefixes that introduced no directive, unless allowed.
  ErrorValue checkPrefixesUsed(size_t distinctPrefixes) const;
  /// Moves `lineNumber` forward to the line of `position`.
  void advanceLineTo(const char *position);

  const CheckOptions &options;
  VariableContext &context;
  std::vector<CheckStep> &steps;
  SourceRegistry &registry;
  DiagnosticSink &sink;

  std::vector<CheckPattern> implicitPatterns;
  /// NOT and DAG patterns waiting for the next positive directive.
  std::vector<CheckPattern> pending;
  std::set<TextRef> unusedPrefixes;
  // lineNumber is the line of the character at countedTo: every line feed the
  // reader passes over is counted once, including those inside a modifier
  // list, so a directive's line is always the line of its prefix.
  unsigned lineNumber = 1;
  const char *countedTo = nullptr;
  /// The part of the check text not yet read.
  TextRef rest;
  std::vector<TextRef> groups;
};

ErrorValue
CheckFileReader::readImplicitPatterns(std::pair<unsigned, unsigned> *implicitBufferRange) {
  for (TextRef text : options.implicitCheckNot) {
    static constexpr TextRef optionText = "-implicit-check-not='";
    std::string written = std::string(optionText) + std::string(text) + "'";
    FileBufferPtr buffer = copyText(written, "command line");
    if (!buffer)
      reportOutOfMemory("implicit pattern buffer");
    unsigned id = registry.addBuffer(std::move(buffer));
    if (implicitBufferRange) {
      if (implicitBufferRange->first == implicitBufferRange->second)
        *implicitBufferRange = {id, id + 1};
      else
        ++implicitBufferRange->second;
    }
    TextRef patternText = registry.buffer(id).text().substr(optionText.size(), text.size());
    CheckPattern pattern(CheckKind(DirectiveType::Not), context);
    if (ErrorValue error = pattern.parse(patternText, "IMPLICIT-CHECK", registry, options, sink))
      return error;
    implicitPatterns.push_back(std::move(pattern));
  }
  return ErrorValue::success();
}

void CheckFileReader::advanceLineTo(const char *position) {
  lineNumber += static_cast<unsigned>(std::count(countedTo, position, '\n'));
  countedTo = position;
}

ErrorValue CheckFileReader::read(TextRef checkText, const CompiledRegex &prefixMatcher) {
  pending = implicitPatterns;
  unusedPrefixes.insert(options.checkPrefixes.begin(), options.checkPrefixes.end());
  const size_t distinctPrefixes = unusedPrefixes.size();
  size_t longestPrefix = 0;
  for (TextRef prefix : options.checkPrefixes)
    longestPrefix = std::max(longestPrefix, prefix.size());
  for (TextRef prefix : options.commentPrefixes)
    longestPrefix = std::max(longestPrefix, prefix.size());

  countedTo = checkText.data();
  rest = checkText;
  while (std::optional<Directive> directive = findNextDirective(prefixMatcher, longestPrefix))
    if (ErrorValue error = handleDirective(*directive))
      return error;
  if (ErrorValue error = checkPrefixesUsed(distinctPrefixes))
    return error;

  if (!pending.empty()) {
    CheckPattern eof(CheckKind(DirectiveType::ImplicitEof), context, lineNumber + 1);
    TextRef firstPrefix = options.checkPrefixes.empty() ? TextRef() : options.checkPrefixes.front();
    steps.push_back(CheckStep{std::move(eof), firstPrefix, rest.data(), std::move(pending)});
  }
  return ErrorValue::success();
}

std::optional<Directive> CheckFileReader::findNextDirective(const CompiledRegex &prefixMatcher,
                                                            size_t longestPrefix) {
  while (!rest.empty()) {
    size_t offset = 0, length = 0;
    if (!findPrefix(prefixMatcher, rest, longestPrefix, groups, offset, length))
      return std::nullopt;
    bool afterWordChar = offset > 0 && isWordChar(rest[offset - 1]);
    rest.remove_prefix(offset);
    advanceLineTo(rest.data());
    TextRef prefix = rest.substr(0, length);
    Classification found;
    if (!afterWordChar)
      found = classify(rest, prefix, options.commentPrefixes);
    if (found.kind.type != DirectiveType::Invalid) {
      Directive directive{found.kind, prefix, rest.substr(0, found.tail)};
      // A directive that ends the text leaves an empty tail at the text's
      // end; its pattern text is then the empty text there.
      rest.remove_prefix(found.tail);
      return directive;
    }
    size_t skip = length;
    while (skip < rest.size() && isWordChar(rest[skip]))
      ++skip;
    rest.remove_prefix(std::max<size_t>(skip, 1));
  }
  return std::nullopt;
}

ErrorValue CheckFileReader::handleDirective(const Directive &directive) {
  const CheckKind kind = directive.kind;
  if (kind.type != DirectiveType::Comment)
    unusedPrefixes.erase(directive.prefix);
  if (ErrorValue error = rejectMalformed(directive))
    return error;
  TextRef patternText = takePatternText();
  if (kind.type == DirectiveType::Comment)
    return ErrorValue::success();

  CheckPattern pattern(kind, context, lineNumber);
  if (ErrorValue error = pattern.parse(patternText, directive.prefix, registry, options, sink))
    return error;
  if (ErrorValue error = checkPlacement(directive, pattern))
    return error;
  if (kind.type == DirectiveType::Not || kind.type == DirectiveType::Dag) {
    pending.push_back(std::move(pattern));
    return ErrorValue::success();
  }
  SourceLocation patternLocation = pattern.location;
  steps.push_back(
      CheckStep{std::move(pattern), directive.prefix, patternLocation, std::move(pending)});
  pending = implicitPatterns;
  return ErrorValue::success();
}

ErrorValue CheckFileReader::rejectMalformed(const Directive &directive) const {
  const std::string prefix(directive.prefix);
  const SourceLocation after = directive.text.data() + directive.text.size();
  switch (directive.kind.type) {
  case DirectiveType::Misspelled:
    sink.report(registry, directive.text.data(), DiagSeverity::Error,
                "misspelled directive '" + std::string(directive.text) + "'");
    return makeAlreadyReportedError();
  case DirectiveType::BadNot:
    sink.report(registry, after, DiagSeverity::Error,
                "unsupported -NOT combo on prefix '" + prefix + "'");
    return makeAlreadyReportedError();
  case DirectiveType::BadCount:
    sink.report(registry, after, DiagSeverity::Error,
                "invalid count in -COUNT specification on prefix '" + prefix + "'");
    return makeAlreadyReportedError();
  default:
    return ErrorValue::success();
  }
}

TextRef CheckFileReader::takePatternText() {
  if (!(options.strictWhitespace && options.matchFullLines))
    rest = trimLeft(rest, " \t");
  size_t lineEnd = rest.find_first_of("\n\r");
  if (lineEnd == TextRef::npos)
    lineEnd = rest.size();
  TextRef patternText = rest.substr(0, lineEnd);
  rest.remove_prefix(lineEnd);
  return patternText;
}

ErrorValue CheckFileReader::checkPlacement(const Directive &directive,
                                           const CheckPattern &pattern) const {
  const std::string prefix(directive.prefix);
  const DirectiveType type = directive.kind.type;
  if (type == DirectiveType::Label && pattern.hasVariables()) {
    sink.report(registry, directive.text.data(), DiagSeverity::Error,
                "found '" + prefix + "-LABEL:' with variable definition or use");
    return makeAlreadyReportedError();
  }
  const char *lineRule = type == DirectiveType::Next    ? "NEXT"
                         : type == DirectiveType::Same  ? "SAME"
                         : type == DirectiveType::Empty ? "EMPTY"
                                                        : nullptr;
  if (lineRule && steps.empty()) {
    sink.report(registry, directive.text.data(), DiagSeverity::Error,
                "found '" + prefix + "-" + lineRule + "' without previous '" + prefix + ": line");
    return makeAlreadyReportedError();
  }
  return ErrorValue::success();
}

ErrorValue CheckFileReader::checkPrefixesUsed(size_t distinctPrefixes) const {
  bool noneFound = unusedPrefixes.size() == distinctPrefixes;
  bool someMissing = !options.allowUnusedPrefixes && !unusedPrefixes.empty();
  // With the default prefix, implicit NOT patterns alone make a check file.
  bool implicitOnly = !options.implicitCheckNot.empty() && options.defaultPrefixInUse;
  if (!(noneFound || someMissing) || implicitOnly)
    return ErrorValue::success();
  std::string message = "error: no check strings found with prefix";
  message += unusedPrefixes.size() > 1 ? "es " : " ";
  bool first = true;
  for (TextRef unused : unusedPrefixes) {
    if (!first)
      message += ", ";
    first = false;
    message += "'" + std::string(unused) + ":'";
  }
  sink.text(message + "\n");
  return makeAlreadyReportedError();
}

} // namespace

ErrorValue CheckEngine::parseCheckText(SourceRegistry &registry, TextRef checkText,
                                       const CompiledRegex &prefixMatcher,
                                       std::pair<unsigned, unsigned> *implicitBufferRange) {
  if (implicitBufferRange)
    *implicitBufferRange = {0, 0};

  ErrorValue definitionErrors = vars->applyCommandLineDefinitions(opts.defines, registry);
  if (definitionErrors) {
    sink.reportErrors(std::move(definitionErrors));
    return makeAlreadyReportedError();
  }
  vars->createLineNumberVariable();

  CheckFileReader reader(opts, *vars, checkSteps, registry, sink);
  if (ErrorValue error = reader.readImplicitPatterns(implicitBufferRange))
    return error;
  return reader.read(checkText, prefixMatcher);
}
