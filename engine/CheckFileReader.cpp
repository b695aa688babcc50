// Reading a check file: grouping the patterns of the directives that the
// scanner finds into check steps. Tested by CheckFileReader_test.cpp.

#include "engine/CheckFileReader.h"

#include "engine/CheckEngine.h"
#include "engine/DirectiveScanner.h"
#include "engine/FixedTextSearch.h"
#include "engine/numeric/VariableContext.h"
#include "support/diag/AlreadyReportedError.h"
#include "support/diag/FatalError.h"
#include "support/fs/FileBuffer.h"
#include "support/fs/LargePages.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <set>
#include <string>
#include <utility>

namespace ostrel {

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
  // touching fresh memory page by page costs a quarter of reading it.
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
  // touching them page by page costs a quarter of reading it.
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
                "misspelled directive '" + std::string(found.directive) + "'",
                DiagnosticKind::MisspelledDirective);
    return makeAlreadyReportedError();
  case DirectiveType::BadNot:
    sink.report(registry, tail, DiagSeverity::Error,
                "unsupported -NOT combo on prefix '" + std::string(found.prefix) + "'",
                DiagnosticKind::UnsupportedNotCombo);
    return makeAlreadyReportedError();
  case DirectiveType::BadCount:
    sink.report(registry, tail, DiagSeverity::Error,
                "invalid count in -COUNT specification on prefix '" + std::string(found.prefix) +
                    "'",
                DiagnosticKind::InvalidCount);
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
                "found '" + prefix + "-LABEL:' with variable definition or use",
                DiagnosticKind::LabelWithVariables);
    return makeAlreadyReportedError();
  }
  const char *lineRule = type == DirectiveType::Next    ? "NEXT"
                         : type == DirectiveType::Same  ? "SAME"
                         : type == DirectiveType::Empty ? "EMPTY"
                                                        : nullptr;
  if (lineRule && stepsRead == 0) {
    sink.report(registry, found.directive.data(), DiagSeverity::Error,
                "found '" + prefix + "-" + lineRule + "' without previous '" + prefix + ": line",
                DiagnosticKind::LineRuleFirst);
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
  sink.text(message + "\n", DiagnosticKind::NoCheckStrings);
  return makeAlreadyReportedError();
}

} // namespace ostrel
