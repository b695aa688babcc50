#include "support/regex/CompiledRegex.h"

// Placeholder until the engine lands: every expression is "invalid".
struct RegexProgram {};

CompiledRegex::CompiledRegex(TextRef, unsigned) : status(2) {}
CompiledRegex::~CompiledRegex() = default;
CompiledRegex::CompiledRegex(const CompiledRegex &other)
    : status(other.status), subExpressions(other.subExpressions) {}
CompiledRegex &CompiledRegex::operator=(const CompiledRegex &other) {
  status = other.status;
  subExpressions = other.subExpressions;
  return *this;
}
CompiledRegex::CompiledRegex(CompiledRegex &&other) noexcept = default;
CompiledRegex &CompiledRegex::operator=(CompiledRegex &&other) noexcept = default;

bool CompiledRegex::checkValid(std::string &errorText) const {
  if (status == 0)
    return true;
  errorText = regexErrorText(status);
  return false;
}

unsigned CompiledRegex::groupCount() const { return subExpressions; }

bool CompiledRegex::search(TextRef, std::vector<TextRef> *,
                           std::string *errorText) const {
  if (errorText)
    *errorText = regexErrorText(status);
  return false;
}

std::string CompiledRegex::escapeText(TextRef text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\0' || TextRef("()^$|*+?.[]\\{}").find(c) != TextRef::npos)
      out += '\\';
    out += c;
  }
  return out;
}

std::string regexErrorText(int) { return "invalid regular expression"; }
