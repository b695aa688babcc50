// Reading a check file: preparing its text and grouping the patterns of the
// directives that the scanner finds into check steps.

#include "engine/CheckEngine.h"

#include "engine/DirectiveScanner.h"
#include "engine/numeric/EngineErrors.h"
#include "engine/numeric/VariableContext.h"
#include "support/diag/FatalError.h"

#include <algorithm>
#include <cstring>
#include <set>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
    if (ErrorValue error = pattern.parse(patternText, "IMPLICIT-CHECK", registry, opts, sink))
      return error;
    implicitPatterns.push_back(std::move(pattern));
  }

  std::vector<CheckPattern> pending = implicitPatterns;
  std::set<TextRef> unusedPrefixes(opts.checkPrefixes.begin(), opts.checkPrefixes.end());
  const size_t distinctPrefixes = unusedPrefixes.size();

  DirectiveScanner scanner(checkText, prefixMatcher, opts);
  FoundDirective found;
  while (scanner.next(found)) {
    const CheckKind kind = found.kind;
    const TextRef prefix = found.prefix;
    const SourceLocation directiveStart = found.directive.data();
    const SourceLocation tail = found.directive.data() + found.directive.size();
    if (kind.type != DirectiveType::Comment)
      unusedPrefixes.erase(prefix);

    switch (kind.type) {
    case DirectiveType::Misspelled:
      sink.report(registry, directiveStart, DiagSeverity::Error,
                  "misspelled directive '" + std::string(found.directive) + "'");
      return makeAlreadyReportedError();
    case DirectiveType::BadNot:
      sink.report(registry, tail, DiagSeverity::Error,
                  "unsupported -NOT combo on prefix '" + std::string(prefix) + "'");
      return makeAlreadyReportedError();
    case DirectiveType::BadCount:
      sink.report(registry, tail, DiagSeverity::Error,
                  "invalid count in -COUNT specification on prefix '" + std::string(prefix) + "'");
      return makeAlreadyReportedError();
    default:
      break;
    }

    if (kind.type == DirectiveType::Comment)
      continue;

    CheckPattern pattern(kind, *vars, found.lineNumber);
    if (ErrorValue error = pattern.parse(found.patternText, prefix, registry, opts, sink))
      return error;

    if (kind.type == DirectiveType::Label && pattern.hasVariables()) {
      sink.report(registry, directiveStart, DiagSeverity::Error,
                  "found '" + std::string(prefix) + "-LABEL:' with variable definition or use");
      return makeAlreadyReportedError();
    }
    if ((kind.type == DirectiveType::Next || kind.type == DirectiveType::Same ||
         kind.type == DirectiveType::Empty) &&
        checkSteps.empty()) {
      const char *word = kind.type == DirectiveType::Next   ? "NEXT"
                         : kind.type == DirectiveType::Same ? "SAME"
                                                            : "EMPTY";
      sink.report(registry, directiveStart, DiagSeverity::Error,
                  "found '" + std::string(prefix) + "-" + word + "' without previous '" +
                      std::string(prefix) + ": line");
      return makeAlreadyReportedError();
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

  if (!pending.empty()) {
    CheckPattern eof(CheckKind(DirectiveType::ImplicitEof), *vars, scanner.lineNumber() + 1);
    TextRef firstPrefix = opts.checkPrefixes.empty() ? TextRef() : opts.checkPrefixes.front();
    checkSteps.push_back(CheckStep{std::move(eof), firstPrefix, scanner.remaining().data(),
                                   std::move(pending)});
  }
  return ErrorValue::success();
}
