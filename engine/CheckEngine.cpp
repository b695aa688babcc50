#include "engine/CheckEngine.h"

#include "engine/numeric/EngineErrors.h"
#include "engine/numeric/VariableContext.h"

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
    sink.text(supplied + " prefix must not be the empty string\n");
    return false;
  }
  if (!validName.search(prefix)) {
    sink.text(supplied +
              " prefix must start with a letter and contain only alphanumeric characters, "
              "hyphens, and underscores: '" +
              std::string(prefix) + "'\n");
    return false;
  }
  if (!seen.insert(prefix).second) {
    sink.text(supplied + " prefix must be unique among check and comment prefixes: '" +
              std::string(prefix) + "'\n");
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

} // namespace ostrel
