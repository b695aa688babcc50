// Reading a check file: preparing its text, finding and classifying the
// directives, and grouping their patterns into check steps.

#include "engine/CheckEngine.h"

#include "engine/numeric/VariableContext.h"
#include "support/diag/FatalError.h"
#include "support/diag/OutputStream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <set>
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

namespace {

/// Writes the prepared form of `size` bytes at `source` to `out`, which may
/// be `source` itself (preparing only ever shortens a text), and answers its
/// length. Stretches that preparation leaves alone are moved only once the
/// text has shortened, so an unchanged text is never written at all.
size_t prepareBytes(const char *source, size_t size, char *out, bool strict) {
  char *const outStart = out;
  const char *p = source;
  const char *end = p + size;
  while (p < end) {
    const char *stop = findPreparationPoint(p, end, strict);
    if (out != p)
      std::memmove(out, p, static_cast<size_t>(stop - p));
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
  return static_cast<size_t>(out - outStart);
}

} // namespace

TextRef CheckEngine::prepareText(TextRef source, std::string &buffer) const {
  buffer.resize(source.size() + 1);
  size_t length = prepareBytes(source.data(), source.size(), buffer.data(),
                               opts.strictWhitespace);
  buffer.resize(length + 1);
  buffer[length] = '\0';
  return TextRef(buffer.data(), length);
}

TextRef CheckEngine::prepareText(OwnedFileBuffer &buffer) const {
  buffer.truncate(prepareBytes(buffer.bufferStart(), buffer.bufferSize(),
                               buffer.mutableStart(), opts.strictWhitespace));
  return buffer.text();
}

bool CheckEngine::parseCheckText(SourceRegistry &registry, TextRef checkText,
                                 const CompiledRegex &prefixMatcher,
                                 std::pair<unsigned, unsigned> *implicitBufferRange) {
  if (implicitBufferRange)
    *implicitBufferRange = {0, 0};

  ErrorValue definitionErrors = vars->applyCommandLineDefinitions(opts.defines, registry);
  if (definitionErrors) {
    printAllErrors(std::move(definitionErrors), standardError());
    return true;
  }
  vars->createLineNumberVariable();

  std::vector<CheckPattern> implicitPatterns;
  for (TextRef text : opts.implicitCheckNot) {
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
    CheckPattern pattern(CheckKind(DirectiveType::Not), *vars);
    if (pattern.parse(patternText, "IMPLICIT-CHECK", registry, opts))
      return true;
    implicitPatterns.push_back(std::move(pattern));
  }

  std::vector<CheckPattern> pending = implicitPatterns;
  std::set<TextRef> unusedPrefixes(opts.checkPrefixes.begin(), opts.checkPrefixes.end());
  const size_t distinctPrefixes = unusedPrefixes.size();
  size_t longestPrefix = 0;
  for (TextRef prefix : opts.checkPrefixes)
    longestPrefix = std::max(longestPrefix, prefix.size());
  for (TextRef prefix : opts.commentPrefixes)
    longestPrefix = std::max(longestPrefix, prefix.size());

  // lineNumber is the line of the character at countedTo: every line feed the
  // reader passes over is counted once, including those inside a modifier
  // list, so a directive's line is always the line of its prefix.
  unsigned lineNumber = 1;
  const char *countedTo = checkText.data();
  auto advanceLineTo = [&](const char *position) {
    lineNumber += static_cast<unsigned>(std::count(countedTo, position, '\n'));
    countedTo = position;
  };

  TextRef rest = checkText;
  std::vector<TextRef> groups;
  while (!rest.empty()) {
    // Find the next directive.
    size_t offset = 0, length = 0;
    if (!findPrefix(prefixMatcher, rest, longestPrefix, groups, offset, length))
      break;
    bool afterWordChar = offset > 0 && isWordChar(rest[offset - 1]);
    rest.remove_prefix(offset);
    advanceLineTo(rest.data());
    TextRef prefix = rest.substr(0, length);
    Classification found;
    if (!afterWordChar)
      found = classify(rest, prefix, opts.commentPrefixes);
    if (found.kind.type == DirectiveType::Invalid) {
      size_t skip = length;
      while (skip < rest.size() && isWordChar(rest[skip]))
        ++skip;
      rest.remove_prefix(std::max<size_t>(skip, 1));
      continue;
    }

    // Handle it.
    const CheckKind kind = found.kind;
    const SourceLocation directiveStart = rest.data();
    if (kind.type != DirectiveType::Comment)
      unusedPrefixes.erase(prefix);
    TextRef directive = rest.substr(0, found.tail);
    // A directive that ends the text leaves an empty tail at the text's end;
    // its pattern text is then the empty text there.
    rest.remove_prefix(found.tail);

    switch (kind.type) {
    case DirectiveType::Misspelled:
      registry.report(directiveStart, DiagSeverity::Error,
                      "misspelled directive '" + std::string(directive) + "'");
      return true;
    case DirectiveType::BadNot:
      registry.report(rest.data(), DiagSeverity::Error,
                      "unsupported -NOT combo on prefix '" + std::string(prefix) + "'");
      return true;
    case DirectiveType::BadCount:
      registry.report(rest.data(), DiagSeverity::Error,
                      "invalid count in -COUNT specification on prefix '" +
                          std::string(prefix) + "'");
      return true;
    default:
      break;
    }

    if (!(opts.strictWhitespace && opts.matchFullLines))
      rest = trimLeft(rest, " \t");
    size_t lineEnd = rest.find_first_of("\n\r");
    if (lineEnd == TextRef::npos)
      lineEnd = rest.size();
    TextRef patternText = rest.substr(0, lineEnd);
    rest.remove_prefix(lineEnd);

    if (kind.type == DirectiveType::Comment)
      continue;

    CheckPattern pattern(kind, *vars, lineNumber);
    if (pattern.parse(patternText, prefix, registry, opts))
      return true;

    if (kind.type == DirectiveType::Label && pattern.hasVariables()) {
      registry.report(directiveStart, DiagSeverity::Error,
                      "found '" + std::string(prefix) +
                          "-LABEL:' with variable definition or use");
      return true;
    }
    if ((kind.type == DirectiveType::Next || kind.type == DirectiveType::Same ||
         kind.type == DirectiveType::Empty) &&
        checkSteps.empty()) {
      const char *word = kind.type == DirectiveType::Next   ? "NEXT"
                         : kind.type == DirectiveType::Same ? "SAME"
                                                            : "EMPTY";
      registry.report(directiveStart, DiagSeverity::Error,
                      "found '" + std::string(prefix) + "-" + word + "' without previous '" +
                          std::string(prefix) + ": line");
      return true;
    }
    if (kind.type == DirectiveType::Not || kind.type == DirectiveType::Dag) {
      pending.push_back(std::move(pattern));
      continue;
    }
    SourceLocation patternLocation = pattern.location;
    checkSteps.push_back(
        CheckStep{std::move(pattern), prefix, patternLocation, std::move(pending)});
    pending = implicitPatterns;
  }

  bool noneFound = unusedPrefixes.size() == distinctPrefixes;
  bool someMissing = !opts.allowUnusedPrefixes && !unusedPrefixes.empty();
  if ((noneFound || someMissing) && (opts.implicitCheckNot.empty() || !opts.defaultPrefixInUse)) {
    OutputStream &err = standardError();
    err << "error: no check strings found with prefix" << (unusedPrefixes.size() > 1 ? "es " : " ");
    bool first = true;
    for (TextRef unused : unusedPrefixes) {
      if (!first)
        err << ", ";
      first = false;
      err << "'" << unused << ":'";
    }
    err << "\n";
    return true;
  }

  if (!pending.empty()) {
    CheckPattern eof(CheckKind(DirectiveType::ImplicitEof), *vars, lineNumber + 1);
    TextRef firstPrefix = opts.checkPrefixes.empty() ? TextRef() : opts.checkPrefixes.front();
    checkSteps.push_back(CheckStep{std::move(eof), firstPrefix, rest.data(), std::move(pending)});
  }
  return false;
}
