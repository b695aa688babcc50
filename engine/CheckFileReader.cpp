// Reading a check file: preparing its text and grouping the patterns of the
// directives that the scanner finds into check steps.

#include "engine/CheckEngine.h"
#include "engine/CheckFileReader.h"

#include "engine/DirectiveScanner.h"
#include "engine/PatternMatcher.h"
#include "engine/numeric/EngineErrors.h"
#include "engine/numeric/VariableContext.h"
#include "support/diag/FatalError.h"
#include "support/fs/FileBuffer.h"
#include "support/fs/LargePages.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#ifdef __SSE2__
#include <emmintrin.h>

namespace ostrel {
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

/// Calls `visit` with the offset of each occurrence of `needle` in `text`
/// that does not overlap the one before, from left to right.
template <typename Visit> void forEachOccurrence(TextRef text, TextRef needle, Visit visit) {
  if (needle.empty())
    return;
  for (size_t from = 0;;) {
    size_t at = findFixedText(text.substr(from), needle, false);
    if (at == TextRef::npos)
      return;
    visit(from + at);
    from += at + needle.size();
  }
}

} // namespace

TextRef CheckEngine::prepareText(TextRef source, std::string &buffer) const {
  // Copied, then prepared in place: sizing the string first would fill it
  // with zeros only for them to be written over.
  buffer.assign(source.data(), source.size());
  size_t length = prepareBytes(buffer.data(), buffer.size(), buffer.data(), opts.strictWhitespace);
  buffer.resize(length + 1);
  buffer[length] = '\0';
  return TextRef(buffer.data(), length);
}

bool CheckEngine::preparesUnchanged(TextRef source) const {
  const char *end = source.data() + source.size();
  return findPreparationPoint(source.data(), end, opts.strictWhitespace) == end;
}

TextRef CheckEngine::prepareText(OwnedFileBuffer &buffer) const {
  buffer.truncate(prepareBytes(buffer.bufferStart(), buffer.bufferSize(),
                               buffer.mutableStart(), opts.strictWhitespace));
  return buffer.text();
}

CheckFileReader::CheckFileReader(const CheckOptions &options, VariableContext &context,
                                 SourceRegistry &registry, DiagnosticSink &sink)
    : options(options), context(context), registry(registry), sink(sink) {}

CheckFileReader::~CheckFileReader() = default;

ErrorValue
CheckFileReader::readImplicitPatterns(std::pair<unsigned, unsigned> *implicitBufferRange) {
  std::vector<CheckPattern> patterns;
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
    patterns.push_back(std::move(pattern));
  }
  if (!patterns.empty())
    implicitPatterns = std::make_shared<const std::vector<CheckPattern>>(std::move(patterns));
  return ErrorValue::success();
}

void CheckFileReader::start(TextRef checkText, const CompiledRegex &prefixMatcher) {
  unusedPrefixes.insert(options.checkPrefixes.begin(), options.checkPrefixes.end());
  distinctPrefixes = unusedPrefixes.size();
  scanner.emplace(checkText, prefixMatcher, options);
  // The patterns of a large check file are many small allocations, and
  // touching fresh memory page by page was a quarter of reading it.
  largeText = checkText.size() >= CheckEngine::largeCheckText;
  if (largeText)
    adviseHeapLargePages();
}

ErrorValue CheckFileReader::readStep(std::optional<CheckStep> &step) {
  step.reset();
  if (finished)
    return ErrorValue::success();
  FoundDirective found;
  while (scanner->next(found)) {
    if (largeText && ++directivesRead % 1024 == 0)
      adviseHeapLargePages();
    if (ErrorValue error = handleDirective(found, step))
      return error;
    if (step) {
      ++stepsRead;
      return ErrorValue::success();
    }
  }
  finished = true;
  if (ErrorValue error = checkPrefixesUsed())
    return error;
  if (!pending.empty() || implicitPatterns) {
    CheckPattern eof(CheckKind(DirectiveType::ImplicitEof), context, scanner->lineNumber() + 1);
    TextRef firstPrefix = options.checkPrefixes.empty() ? TextRef() : options.checkPrefixes.front();
    step.emplace(CheckStep{std::move(eof), firstPrefix, scanner->remaining().data(),
                           std::move(pending), implicitPatterns});
    ++stepsRead;
  }
  return ErrorValue::success();
}

ErrorValue CheckFileReader::readAll(std::vector<CheckStep> &steps) {
  // Every directive starts with a check prefix: room for as many steps as
  // there are prefix occurrences saves moving large steps as the list grows.
  TextRef checkText = scanner->remaining();
  size_t occurrences = 0;
  for (TextRef prefix : options.checkPrefixes)
    forEachOccurrence(checkText, prefix, [&](size_t) { ++occurrences; });
  steps.reserve(steps.size() + occurrences + 1);
  // The steps of a large check file take several times its size, and
  // touching them page by page was a quarter of reading it.
  adviseLargePages(steps.data(), steps.capacity() * sizeof(CheckStep));

  std::optional<CheckStep> step;
  for (;;) {
    if (ErrorValue error = readStep(step))
      return error;
    if (!step)
      return ErrorValue::success();
    steps.push_back(std::move(*step));
  }
}

ErrorValue CheckFileReader::readThrough() {
  // A pattern text that read without adding a name to the context reads the
  // same way again while the context has no more names than then (reading
  // only adds names), so it is not parsed again: large check files repeat
  // their directives. The line number plays no part: a variable defined on
  // the line of a use would be a new name.
  struct ReadText {
    TextRef text;
    CheckKind kind;
    size_t names = 0;
  };
  std::array<ReadText, 256> readTexts{};
  auto nameCount = [&] { return context.numericTable.size() + context.stringNameCount(); };
  const size_t substitutions = context.ownedSubstitutions.size();
  FoundDirective found;
  while (scanner->next(found)) {
    const CheckKind kind = found.kind;
    if (ErrorValue error = admitDirective(found))
      return error;
    if (kind.type == DirectiveType::Comment)
      continue;
    ReadText &known = readTexts[std::hash<TextRef>()(found.patternText) % readTexts.size()];
    const size_t names = nameCount();
    // Read before, it was no LABEL with variables and no line rule before a
    // step either.
    bool readBefore = known.text.data() && known.kind == kind && known.names == names &&
                      known.text == found.patternText;
    if (!readBefore) {
      CheckPattern pattern(kind, context, found.lineNumber);
      if (ErrorValue error =
              pattern.parse(found.patternText, found.prefix, registry, options, sink))
        return error;
      if (ErrorValue error = checkPlacement(found, pattern))
        return error;
      if (nameCount() == names)
        known = {found.patternText, kind, names};
    }
    context.ownedSubstitutions.resize(substitutions);
    if (kind.type != DirectiveType::Not && kind.type != DirectiveType::Dag)
      ++stepsRead;
  }
  finished = true;
  return checkPrefixesUsed();
}

ErrorValue CheckFileReader::admitDirective(const FoundDirective &found) {
  // Erasing from an empty set costs a search and a clear each time.
  if (found.kind.type != DirectiveType::Comment && !unusedPrefixes.empty())
    unusedPrefixes.erase(found.prefix);
  return rejectMalformed(found);
}

ErrorValue CheckFileReader::handleDirective(const FoundDirective &found,
                                            std::optional<CheckStep> &step) {
  const CheckKind kind = found.kind;
  if (ErrorValue error = admitDirective(found))
    return error;
  if (kind.type == DirectiveType::Comment)
    return ErrorValue::success();

  CheckPattern pattern(kind, context, found.lineNumber);
  if (ErrorValue error = pattern.parse(found.patternText, found.prefix, registry, options, sink))
    return error;
  if (ErrorValue error = checkPlacement(found, pattern))
    return error;
  if (pattern.details().pieces.usable()) {
    PatternDetails &details = pattern.editDetails();
    details.pieces.share(details.regexText, sharedPieces);
  } else if (pattern.fixedText.empty() && pattern.substitutions().empty() &&
             !pattern.regexIsText && pattern.fullLineText().empty()) {
    pattern.regexCache = sharedRegexes.entry(pattern.regexText());
  }
  if (kind.type == DirectiveType::Not || kind.type == DirectiveType::Dag) {
    pending.push_back(std::move(pattern));
    return ErrorValue::success();
  }
  SourceLocation patternLocation = pattern.location;
  step.emplace(CheckStep{std::move(pattern), found.prefix, patternLocation,
                         std::exchange(pending, {}), implicitPatterns});
  return ErrorValue::success();
}

ErrorValue CheckFileReader::rejectMalformed(const FoundDirective &found) const {
  const SourceLocation tail = found.directive.data() + found.directive.size();
  switch (found.kind.type) {
  case DirectiveType::Misspelled:
    sink.report(registry, found.directive.data(), DiagSeverity::Error,
                "misspelled directive '" + std::string(found.directive) + "'");
    return makeAlreadyReportedError();
  case DirectiveType::BadNot:
    sink.report(registry, tail, DiagSeverity::Error,
                "unsupported -NOT combo on prefix '" + std::string(found.prefix) + "'");
    return makeAlreadyReportedError();
  case DirectiveType::BadCount:
    sink.report(registry, tail, DiagSeverity::Error,
                "invalid count in -COUNT specification on prefix '" + std::string(found.prefix) +
                    "'");
    return makeAlreadyReportedError();
  default:
    return ErrorValue::success();
  }
}

ErrorValue CheckFileReader::checkPlacement(const FoundDirective &found,
                                           const CheckPattern &pattern) const {
  const std::string prefix(found.prefix);
  const DirectiveType type = found.kind.type;
  if (type == DirectiveType::Label && pattern.hasVariables()) {
    sink.report(registry, found.directive.data(), DiagSeverity::Error,
                "found '" + prefix + "-LABEL:' with variable definition or use");
    return makeAlreadyReportedError();
  }
  const char *lineRule = type == DirectiveType::Next    ? "NEXT"
                         : type == DirectiveType::Same  ? "SAME"
                         : type == DirectiveType::Empty ? "EMPTY"
                                                        : nullptr;
  if (lineRule && stepsRead == 0) {
    sink.report(registry, found.directive.data(), DiagSeverity::Error,
                "found '" + prefix + "-" + lineRule + "' without previous '" + prefix + ": line");
    return makeAlreadyReportedError();
  }
  return ErrorValue::success();
}

ErrorValue CheckFileReader::checkPrefixesUsed() const {
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
    message += '\'';
    message += unused;
    message += ":'";
  }
  sink.text(message + "\n");
  return makeAlreadyReportedError();
}

ErrorValue CheckEngine::parseCheckText(SourceRegistry &registry, TextRef checkText,
                                       const CompiledRegex &prefixMatcher,
                                       std::pair<unsigned, unsigned> *implicitBufferRange,
                                       StepStorage storage) {
  if (implicitBufferRange)
    *implicitBufferRange = {0, 0};

  ErrorValue definitionErrors = vars->applyCommandLineDefinitions(opts.defines, registry);
  if (definitionErrors) {
    sink.reportErrors(std::move(definitionErrors));
    return makeAlreadyReportedError();
  }
  vars->createLineNumberVariable();

  CheckFileReader reader(opts, *vars, registry, sink);
  if (ErrorValue error = reader.readImplicitPatterns(implicitBufferRange))
    return error;
  reader.start(checkText, prefixMatcher);
  if (storage == StepStorage::Kept)
    return reader.readAll(checkSteps);
  // A fault is reported now, before any input is read, as for a text read
  // whole, and nothing read is kept. The checking reads the text again from
  // the same context.
  VariableContext::ReadingState unread = vars->readingState();
  if (ErrorValue fault = reader.readThrough())
    return fault;
  vars->restoreReadingState(std::move(unread));
  // Every label directive ("CHECK-LABEL:", "CHECK-LABEL{LITERAL}:") contains
  // "-LABEL", so none begins after its last occurrence. That is found
  // forwards: a backward search for a text has no vector form.
  const char *lastLabel = nullptr;
  forEachOccurrence(checkText, "-LABEL", [&](size_t at) { lastLabel = checkText.data() + at; });
  streamed = StreamedText{checkText, &prefixMatcher, reader.implicitList(), lastLabel};
  return ErrorValue::success();
}

} // namespace ostrel
