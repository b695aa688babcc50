// The check engine's operations: the prefixes, and the reading and checking
// of a check text, each done by the pieces named in CheckEngine.h. Tested by
// CheckEngine_test.cpp.

#include "engine/CheckEngine.h"

#include "engine/CheckFileReader.h"
#include "engine/CheckSequencer.h"
#include "engine/FixedTextSearch.h"
#include "engine/StepFeed.h"
#include "engine/TextPreparation.h"
#include "engine/numeric/VariableContext.h"
#include "support/diag/AlreadyReportedError.h"

#include <set>
#include <string>

namespace ostrel {

namespace {

constexpr TextRef defaultCheckPrefix = "CHECK";
constexpr TextRef defaultCommentPrefixes[] = {"COM", "RUN"};

/// Reports an unacceptable prefix, or answers true.
bool checkPrefix(TextRef prefix, TextRef kindWord, std::set<TextRef> &seen, DiagnosticSink &sink) {
  // Compiled once for the life of the process.
  static const CompiledRegex validName("^[a-zA-Z0-9_-]*$");
  const std::string supplied = "error: supplied " + std::string(kindWord);
  if (prefix.empty()) {
    sink.text(supplied + " prefix must not be the empty string\n", DiagnosticKind::InvalidPrefix);
    return false;
  }
  if (!validName.search(prefix)) {
    sink.text(supplied +
              " prefix must start with a letter and contain only alphanumeric characters, "
              "hyphens, and underscores: '" +
              std::string(prefix) + "'\n",
              DiagnosticKind::InvalidPrefix);
    return false;
  }
  if (!seen.insert(prefix).second) {
    sink.text(supplied + " prefix must be unique among check and comment prefixes: '" +
                  std::string(prefix) + "'\n",
              DiagnosticKind::InvalidPrefix);
    return false;
  }
  return true;
}

} // namespace

CheckEngine::CheckEngine(const CheckOptions &options, DiagnosticSink &sink)
    : opts(options), sink(sink), vars(std::make_unique<VariableContext>()) {}

CheckEngine::~CheckEngine() = default;

ErrorValue CheckEngine::verifyPrefixes() {
  std::set<TextRef> seen;
  if (opts.checkPrefixes.empty())
    seen.insert(defaultCheckPrefix);
  if (opts.commentPrefixes.empty())
    seen.insert(std::begin(defaultCommentPrefixes), std::end(defaultCommentPrefixes));
  for (TextRef prefix : opts.checkPrefixes)
    if (!checkPrefix(prefix, "check", seen, sink))
      return makeAlreadyReportedError();
  for (TextRef prefix : opts.commentPrefixes)
    if (!checkPrefix(prefix, "comment", seen, sink))
      return makeAlreadyReportedError();
  return ErrorValue::success();
}

CompiledRegex CheckEngine::buildPrefixMatcher() {
  if (opts.checkPrefixes.empty()) {
    opts.checkPrefixes.push_back(defaultCheckPrefix);
    opts.defaultPrefixInUse = true;
  }
  if (opts.commentPrefixes.empty())
    opts.commentPrefixes.assign(std::begin(defaultCommentPrefixes),
                                std::end(defaultCommentPrefixes));
  std::string expression;
  for (size_t i = 0; i < opts.checkPrefixes.size(); ++i) {
    if (i > 0)
      expression += '|';
    expression += opts.checkPrefixes[i];
  }
  for (TextRef prefix : opts.commentPrefixes) {
    expression += '|';
    expression += prefix;
  }
  return CompiledRegex(expression);
}

TextRef CheckEngine::prepareText(TextRef source, std::string &buffer) const {
  return prepareCopy(source, buffer, opts.strictWhitespace);
}

TextRef CheckEngine::prepareText(OwnedFileBuffer &buffer) const {
  return prepareInPlace(buffer, opts.strictWhitespace);
}

ErrorValue CheckEngine::parseCheckText(SourceRegistry &registry, TextRef checkText,
                                       const CompiledRegex &prefixMatcher,
                                       std::pair<unsigned, unsigned> *implicitBufferRange,
                                       StepStorage storage) {
  if (implicitBufferRange)
    *implicitBufferRange = {0, 0};

  ErrorValue definitionErrors = vars->applyCommandLineDefinitions(opts.defines, registry);
  if (definitionErrors) {
    sink.reportErrors(std::move(definitionErrors), DiagnosticKind::InvalidDefinition);
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

ErrorValue CheckEngine::verifyInput(SourceRegistry &registry, TextRef input,
                                    std::vector<MatchDiag> *diagList, RecordUse recordUse) {
  CheckSequencer sequencer(opts, registry, sink, diagList, recordUse);
  ErrorValue verified;
  // The deferred records point at their steps: they are made while the
  // feed still holds them.
  if (!streamed) {
    KeptStepFeed feed(checkSteps, *vars);
    verified = sequencer.verifySteps(feed, input);
    if (verified)
      sequencer.recordDeferredSearches();
  } else {
    CheckFileReader reader(opts, *vars, registry, sink);
    reader.useImplicitPatterns(streamed->implicitPatterns);
    reader.start(streamed->checkText, *streamed->prefixMatcher);
    ReadingStepFeed feed(reader, *vars, streamed->lastLabelAt, sequencer.defersRecords());
    verified = sequencer.verifySteps(feed, input);
    if (verified)
      sequencer.recordDeferredSearches();
    // parseCheckText has read the text through: reading it again finds no
    // fault, and whatever it found would have been reported.
    verified = combineErrors(std::move(verified), feed.takeReadError());
  }
  return verified;
}

} // namespace ostrel
