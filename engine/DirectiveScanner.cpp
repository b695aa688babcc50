// Finding and classifying directives: the prefix search, the suffixes,
// the count and the modifier list.

#include "engine/DirectiveScanner.h"

#include "engine/FixedTextSearch.h"
#include "support/fs/LineFeeds.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace ostrel {

bool isDirectiveWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '_';
}

namespace {

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

constexpr TextRef badNotCombinations[] = {"DAG-NOT:",  "NOT-DAG:",  "NEXT-NOT:",  "NOT-NEXT:",
                                         "SAME-NOT:", "NOT-SAME:", "EMPTY-NOT:", "NOT-EMPTY:"};

// Tried in this order, after the -COUNT and bad -NOT forms.
constexpr DirectiveSuffix suffixWords[] = {
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
    for (const DirectiveSuffix &entry : suffixWords) {
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
bool searchPrefix(const CompiledRegex &matcher, TextRef text, size_t longestPrefix,
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

std::span<const DirectiveSuffix> directiveSuffixes() { return suffixWords; }

DirectiveScanner::DirectiveScanner(TextRef checkText, const CompiledRegex &prefixMatcher,
                                   const CheckOptions &options)
    : matcher(prefixMatcher), textStart(checkText.data()), opts(options), rest(checkText),
      countedTo(checkText.data()) {
  for (TextRef prefix : opts.checkPrefixes)
    longestPrefix = std::max(longestPrefix, prefix.size());
  for (TextRef prefix : opts.commentPrefixes)
    longestPrefix = std::max(longestPrefix, prefix.size());

  std::vector<TextRef> all(opts.checkPrefixes.begin(), opts.checkPrefixes.end());
  all.insert(all.end(), opts.commentPrefixes.begin(), opts.commentPrefixes.end());
  bool allWords = std::all_of(all.begin(), all.end(), [](TextRef prefix) {
    return !prefix.empty() && std::all_of(prefix.begin(), prefix.end(), isDirectiveWordChar);
  });
  if (allWords) {
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    fixedPrefixes = std::move(all);
    for (TextRef prefix : fixedPrefixes)
      nextOccurrence.push_back(findFixedText(checkText, prefix, false));
  }
}

bool DirectiveScanner::findPrefix(size_t &offset, size_t &length) {
  if (fixedPrefixes.empty())
    return searchPrefix(matcher, rest, longestPrefix, groups, offset, length);
  const size_t position = static_cast<size_t>(rest.data() - textStart);
  size_t best = TextRef::npos;
  size_t bestLength = 0;
  for (size_t i = 0; i != fixedPrefixes.size(); ++i) {
    size_t &next = nextOccurrence[i];
    if (next < position) {
      size_t at = findFixedText(rest, fixedPrefixes[i], false);
      next = at == TextRef::npos ? TextRef::npos : position + at;
    }
    if (next < best || (next == best && next != TextRef::npos &&
                        fixedPrefixes[i].size() > bestLength)) {
      best = next;
      bestLength = fixedPrefixes[i].size();
    }
  }
  if (best == TextRef::npos)
    return false;
  offset = best - position;
  length = bestLength;
  return true;
}

bool DirectiveScanner::next(FoundDirective &found) {
  while (!rest.empty()) {
    size_t offset = 0, length = 0;
    if (!findPrefix(offset, length))
      return false;
    bool afterWordChar = offset > 0 && isDirectiveWordChar(rest[offset - 1]);
    rest.remove_prefix(offset);
    // line is the line of the character at countedTo: every line feed passed
    // over is counted once, including those inside a modifier list, so a
    // directive's line is always the line of its prefix.
    line += static_cast<unsigned>(countLineFeeds(countedTo, rest.data()));
    countedTo = rest.data();
    TextRef prefix = rest.substr(0, length);
    Classification classified;
    if (!afterWordChar)
      classified = classify(rest, prefix, opts.commentPrefixes);
    if (classified.kind.type == DirectiveType::Invalid) {
      size_t skip = length;
      while (skip < rest.size() && isDirectiveWordChar(rest[skip]))
        ++skip;
      rest.remove_prefix(std::max<size_t>(skip, 1));
      continue;
    }

    found.kind = classified.kind;
    found.prefix = prefix;
    found.lineNumber = line;
    // A directive that ends the text leaves an empty tail at the text's end;
    // its pattern text is then the empty text there.
    found.directive = rest.substr(0, classified.tail);
    rest.remove_prefix(classified.tail);
    if (!(opts.strictWhitespace && opts.matchFullLines))
      rest = trimLeft(rest, " \t");
    size_t lineEnd = findLineEnd(rest);
    found.patternText = rest.substr(0, lineEnd);
    rest.remove_prefix(lineEnd);
    return true;
  }
  return false;
}

} // namespace ostrel
