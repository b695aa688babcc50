#include "support/regex/CompiledRegex.h"

#include "support/regex/RegexCompiler.h"
#include "support/regex/RegexMatcher.h"

#include <algorithm>
#include <array>

namespace ostrel {

namespace {

unsigned compileFlagsFor(unsigned flags) {
  unsigned compileFlags = regexExtended | regexPatternEnd;
  if (flags & CompiledRegex::ignoreCase)
    compileFlags |= regexIgnoreCase;
  if (flags & CompiledRegex::newlineSensitive)
    compileFlags |= regexNewline;
  return compileFlags;
}

// A default TextRef has no data; the matcher gets a valid base anyway.
const char *subjectBase(TextRef subject) { return subject.data() ? subject.data() : ""; }

// A slot that took no part is an empty TextRef with no data.
TextRef slotText(TextRef subject, const RegexMatchSlot &slot) {
  if (slot.start == -1)
    return TextRef();
  return TextRef(subjectBase(subject) + slot.start, size_t(slot.end - slot.start));
}

} // namespace

CompiledRegex::CompiledRegex(TextRef pattern, unsigned flags) {
  status = compileRegex(program, pattern.data(), pattern.data() + pattern.size(),
                        compileFlagsFor(flags));
  if (program)
    subExpressions = program->subExpressionCount;
}

CompiledRegex::~CompiledRegex() = default;

// A copy starts with no search cache of its own: the cache belongs to the
// program it was built for.
CompiledRegex::CompiledRegex(const CompiledRegex &other)
    : program(other.program ? std::make_unique<RegexProgram>(*other.program) : nullptr),
      status(other.status), subExpressions(other.subExpressions) {}

CompiledRegex &CompiledRegex::operator=(const CompiledRegex &other) {
  if (this != &other) {
    program = other.program ? std::make_unique<RegexProgram>(*other.program) : nullptr;
    status = other.status;
    subExpressions = other.subExpressions;
    searchCache.reset();
    searchedBefore = false;
  }
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

bool CompiledRegex::run(TextRef subject, size_t slotCount, std::string *errorText) const {
  if (errorText)
    errorText->clear();
  if (status != regexOk) {
    if (errorText)
      *errorText = regexErrorText(status);
    return false;
  }
  slots.resize(std::max<size_t>(slotCount, 1));
  slots[0] = {0, ptrdiff_t(subject.size())};
  RegexStatus result = matchRegex(program.get(), subjectBase(subject), 0, subject.size(),
                                  slotCount, slots.data(), RegexStateForm::Automatic,
                                  cacheForSearch());
  if (result != regexOk) {
    if (result != regexNoMatch && errorText)
      *errorText = regexErrorText(result);
    return false;
  }
  return true;
}

RegexSearchCache *CompiledRegex::cacheForSearch() const {
  // Most expressions of a check file are searched once: only one searched
  // again keeps its automata, so that memory goes where it is reused.
  if (!searchCache && searchedBefore)
    searchCache = std::make_unique<RegexSearchCache>();
  searchedBefore = true;
  return searchCache.get();
}

bool CompiledRegex::matchLengths(TextRef subject, size_t from, size_t to,
                                 std::vector<uint64_t> &lengths, size_t &scanned) const {
  scanned = 0;
  if (status != regexOk)
    return false;
  const char *begin = subjectBase(subject);
  return matchRegexLengths(program.get(), begin, begin + subject.size(), from, to, lengths,
                           scanned, cacheForSearch()) == regexOk;
}

bool CompiledRegex::hasBackReferences() const { return program && program->hasBackrefs; }

bool CompiledRegex::canMatchLineFeed() const { return program && program->consumesLineFeed(); }

size_t CompiledRegex::programSize() const { return program ? program->instructions.size() : 0; }

bool CompiledRegex::search(TextRef subject, std::vector<TextRef> *groups,
                           std::string *errorText) const {
  if (!run(subject, groups ? subExpressions + 1 : 0, errorText))
    return false;
  if (groups) {
    groups->clear();
    for (const RegexMatchSlot &slot : slots)
      groups->push_back(slotText(subject, slot));
  }
  return true;
}

bool CompiledRegex::searchWhole(TextRef subject, TextRef &match, std::string *errorText) const {
  if (!run(subject, 1, errorText))
    return false;
  match = slotText(subject, slots[0]);
  return true;
}

std::string CompiledRegex::escapeText(TextRef text) {
  std::string out;
  appendEscaped(out, text);
  return out;
}

void CompiledRegex::appendEscaped(std::string &out, TextRef text) {
  static constexpr auto special = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : TextRef("()^$|*+?.[]\\{}"))
      table[c] = true;
    table[0] = true;
    return table;
  }();
  out.reserve(out.size() + text.size());
  // Runs without a special byte are copied whole.
  size_t copied = 0;
  for (size_t i = 0; i != text.size(); ++i) {
    if (!special[static_cast<unsigned char>(text[i])])
      continue;
    out.append(text.data() + copied, i - copied);
    out += '\\';
    copied = i;
  }
  out.append(text.data() + copied, text.size() - copied);
}

void CompiledRegex::appendUnescaped(std::string &out, TextRef escaped) {
  out.reserve(out.size() + escaped.size());
  for (size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] == '\\' && i + 1 < escaped.size())
      ++i;
    out += escaped[i];
  }
}

std::string regexErrorText(int code) {
  size_t length = regexErrorText(code, nullptr, 0);
  std::string text(length, '\0');
  regexErrorText(code, text.data(), length);
  text.resize(length - 1);
  return text;
}

size_t bracketExpressionLength(TextRef text) {
  if (text.starts_with("[[:<:]]") || text.starts_with("[[:>:]]"))
    return 7;
  size_t i = 1;
  if (i < text.size() && text[i] == '^')
    ++i;
  if (i < text.size() && text[i] == ']')
    ++i;
  while (i < text.size() && text[i] != ']') {
    if (text[i] == '[' && i + 1 < text.size() &&
        (text[i + 1] == ':' || text[i + 1] == '=' || text[i + 1] == '.')) {
      char closer[] = {text[i + 1], ']', '\0'};
      size_t end = text.find(closer, i + 2);
      if (end == TextRef::npos)
        return text.size();
      i = end + 2;
    } else {
      ++i;
    }
  }
  return std::min(i + 1, text.size());
}

} // namespace ostrel
