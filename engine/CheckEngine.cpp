#include "engine/CheckEngine.h"

#include "engine/numeric/VariableContext.h"
#include "support/diag/OutputStream.h"

#include <set>
#include <string>

namespace {

constexpr TextRef defaultCheckPrefix = "CHECK";
constexpr TextRef defaultCommentPrefixes[] = {"COM", "RUN"};

/// Writes the message for an unacceptable prefix, or answers true.
bool checkPrefix(TextRef prefix, TextRef kindWord, std::set<TextRef> &seen) {
  // Compiled once for the life of the process.
  static const CompiledRegex validName("^[a-zA-Z0-9_-]*$");
  OutputStream &err = standardError();
  if (prefix.empty()) {
    err << "error: supplied " << kindWord << " prefix must not be the empty " << "string\n";
    return false;
  }
  if (!validName.search(prefix)) {
    err << "error: supplied " << kindWord << " prefix must start with a "
        << "letter and contain only alphanumeric characters, hyphens, and "
        << "underscores: '" << prefix << "'\n";
    return false;
  }
  if (!seen.insert(prefix).second) {
    err << "error: supplied " << kindWord << " prefix must be unique among "
        << "check and comment prefixes: '" << prefix << "'\n";
    return false;
  }
  return true;
}

} // namespace

CheckEngine::CheckEngine(const CheckOptions &options)
    : opts(options), vars(std::make_unique<VariableContext>()) {}

CheckEngine::~CheckEngine() = default;

bool CheckEngine::verifyPrefixes() {
  std::set<TextRef> seen;
  if (opts.checkPrefixes.empty())
    seen.insert(defaultCheckPrefix);
  if (opts.commentPrefixes.empty())
    seen.insert(std::begin(defaultCommentPrefixes), std::end(defaultCommentPrefixes));
  for (TextRef prefix : opts.checkPrefixes)
    if (!checkPrefix(prefix, "check", seen))
      return false;
  for (TextRef prefix : opts.commentPrefixes)
    if (!checkPrefix(prefix, "comment", seen))
      return false;
  return true;
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
