#include "engine/PatternPieces.h"

#include "engine/ExpressionPool.h"
#include "engine/FixedTextSearch.h"
#include "engine/PatternRegexCache.h"

#include <algorithm>
#include <cstring>

namespace ostrel {

namespace {

/// A whole expression beyond this many instruction words may not compile
/// although each of its pieces does; such patterns are left to it.
constexpr size_t maxWholeProgram = size_t(1) << 21;
/// Nor may one whose pieces nest groups this deep, with the group around
/// each piece added.
constexpr size_t maxPieceGroups = 900;
/// The work a search may take per byte of the lines it looks at, and once
/// per line, before it leaves the search to the whole expression.
constexpr size_t workPerByte = 32;
constexpr size_t workPerLine = 256;

/// What one search works with, kept between searches so that they do not
/// allocate.
struct SearchScratch {
  /// The fixed texts around the pieces (one more than the pieces), pointing
  /// into the check text, or into `joined` when values are written in.
  std::vector<TextRef> texts;
  std::string joined;
  /// The positions the row can have reached after a piece and its text.
  std::vector<size_t> reach;
  std::vector<size_t> next;
  std::vector<uint64_t> lengths;
  /// Per piece, where it starts and ends in the match.
  std::vector<size_t> pieceStart;
  std::vector<size_t> pieceEnd;
};

SearchScratch &scratch() {
  thread_local SearchScratch kept;
  return kept;
}

} // namespace

void PatternPieces::add(Part part) {
  // Most patterns have a piece between two texts.
  if (parts.empty())
    parts.reserve(3);
  parts.push_back(std::move(part));
}

void PatternPieces::addText(TextRef text) {
  // Texts written one after the other are one text: the pieces then have
  // at most one text part between them, which a search uses as it is.
  if (!parts.empty() && parts.back().kind == Part::Text &&
      parts.back().text.data() + parts.back().text.size() == text.data()) {
    parts.back().text = TextRef(parts.back().text.data(), parts.back().text.size() + text.size());
    return;
  }
  add({Part::Text, text, 0, 0, 0, 0, nullptr});
}

void PatternPieces::addValue(size_t substitution) {
  hasValues = true;
  add({Part::Value, TextRef(), substitution, 0, 0, 0, nullptr});
}

void PatternPieces::addPiece(size_t begin, size_t end, unsigned group) {
  add({Part::Piece, TextRef(), pieceCount++, begin, end, group, nullptr});
  lastGroup = std::max(lastGroup, group);
}

void PatternPieces::share(const std::string &regexText, ExpressionPool &pool) {
  for (Part &part : parts)
    if (part.kind == Part::Piece && part.end != part.begin)
      part.compiled = pool.entry(TextRef(regexText).substr(part.begin, part.end - part.begin));
}

bool PatternPieces::fits(const std::string &regexText, unsigned flags) const {
  if (fit != Fit::Unknown)
    return fit == Fit::Yes;
  wholeSize = regexText.size();
  fit = Fit::Yes;
  for (Part &part : parts) {
    if (part.kind != Part::Piece)
      continue;
    TextRef text = TextRef(regexText).substr(part.begin, part.end - part.begin);
    // An empty definition, [[X:]], matches the empty text only.
    if (text.empty()) {
      part.compiled.reset();
      continue;
    }
    if (!part.compiled)
      part.compiled = std::make_shared<PatternRegexCache>();
    PatternRegexCache &piece = *part.compiled;
    const CompiledRegex &regex = piece.get(text, flags);
    if (!piece.suitsPieces)
      piece.suitsPieces = regex.isValid() && !regex.hasBackReferences() &&
                          !regex.canMatchLineFeed() &&
                          size_t(std::count(text.begin(), text.end(), '(')) <= maxPieceGroups;
    wholeSize += regex.programSize();
    if (!*piece.suitsPieces)
      fit = Fit::No;
  }
  if (wholeSize > maxWholeProgram)
    fit = Fit::No;
  return fit == Fit::Yes;
}

PatternPieces::Outcome PatternPieces::search(TextRef range, const std::string &regexText,
                                             std::span<const std::string> values, unsigned flags,
                                             TextRef &whole, std::vector<TextRef> *groups) const {
  if (!fits(regexText, flags))
    return Outcome::Undecided;
  const bool ignoreCase = flags & CompiledRegex::ignoreCase;
  SearchScratch &work = scratch();

  // The fixed texts around the pieces, values written in.
  std::vector<TextRef> &texts = work.texts;
  texts.clear();
  size_t minLength = 0;
  if (!hasValues) {
    TextRef text;
    for (const Part &part : parts) {
      if (part.kind == Part::Text) {
        text = part.text;
      } else {
        texts.push_back(text);
        minLength += text.size();
        text = TextRef();
      }
    }
    texts.push_back(text);
    minLength += text.size();
  } else {
    for (const Part &part : parts)
      minLength += part.kind == Part::Text    ? part.text.size()
                   : part.kind == Part::Value ? values[part.index].size()
                                              : 0;
    std::string &joined = work.joined;
    joined.clear();
    joined.reserve(minLength);
    size_t textStart = 0;
    auto closeText = [&] {
      texts.emplace_back(joined.data() + textStart, joined.size() - textStart);
      textStart = joined.size();
    };
    for (const Part &part : parts) {
      if (part.kind == Part::Text)
        joined.append(part.text);
      else if (part.kind == Part::Value)
        CompiledRegex::appendUnescaped(joined, values[part.index]);
      else
        closeText();
    }
    closeText();
    minLength = joined.size();
  }
  if (wholeSize + minLength > maxWholeProgram)
    return Outcome::Undecided;

  // Every match holds the longest of the texts, and lies within one line
  // (neither the texts nor the pieces hold a line feed): only the lines
  // where that text occurs are looked at, in order.
  TextRef anchor = *std::max_element(texts.begin(), texts.end(), [](TextRef a, TextRef b) {
    return a.size() < b.size();
  });
  if (anchor.empty())
    return Outcome::Undecided;
  const TextRef first = texts.front();
  size_t spent = 0;
  size_t budget = 0;
  for (size_t from = 0;;) {
    size_t at = findFixedText(range.substr(from), anchor, ignoreCase);
    if (at == TextRef::npos)
      return Outcome::NotFound;
    at += from;
    const void *lineFeed = memrchr(range.data() + from, '\n', at - from);
    size_t lineStart = lineFeed ? size_t(static_cast<const char *>(lineFeed) - range.data()) + 1
                                : from;
    size_t afterAnchor = at + anchor.size();
    lineFeed = std::memchr(range.data() + afterAnchor, '\n', range.size() - afterAnchor);
    size_t lineEnd = lineFeed ? size_t(static_cast<const char *>(lineFeed) - range.data())
                              : range.size();
    budget += workPerByte * (lineEnd - lineStart) + workPerLine;
    // When the first text is the longest, the match can start no earlier
    // than where it was found.
    const bool firstIsAnchor = first.size() == anchor.size();
    for (size_t start = firstIsAnchor ? at : lineStart; start + minLength <= lineEnd; ++start) {
      if (!first.empty() && !(firstIsAnchor && start == at)) {
        size_t found = findFixedText(range.substr(start, lineEnd - start), first, ignoreCase);
        if (found == TextRef::npos)
          break;
        start += found;
      }
      size_t matchEnd = 0;
      Outcome outcome = matchFrom(range, start, lineEnd, ignoreCase, groups != nullptr,
                                  matchEnd, spent, budget);
      if (outcome == Outcome::NotFound)
        continue;
      if (outcome == Outcome::Found) {
        whole = range.substr(start, matchEnd - start);
        if (groups) {
          groups->assign(lastGroup + 1, TextRef());
          for (const Part &part : parts)
            if (part.kind == Part::Piece)
              (*groups)[part.group] =
                  range.substr(work.pieceStart[part.index],
                               work.pieceEnd[part.index] - work.pieceStart[part.index]);
        }
      }
      return outcome;
    }
    if (lineEnd == range.size())
      return Outcome::NotFound;
    from = lineEnd + 1;
  }
}

PatternPieces::Outcome PatternPieces::matchFrom(TextRef range, size_t start, size_t stop,
                                                bool ignoreCase, bool spans, size_t &matchEnd,
                                                size_t &spent, size_t budget) const {
  SearchScratch &work = scratch();
  const std::vector<TextRef> &texts = work.texts;
  std::vector<size_t> &reach = work.reach;
  std::vector<size_t> &next = work.next;
  reach.assign(1, start + texts.front().size());
  const size_t count = pieceCount;
  if (spans) {
    work.pieceStart.resize(count);
    work.pieceEnd.resize(count);
  }
  const TextRef line = range.substr(0, stop);
  for (const Part &part : parts) {
    if (part.kind != Part::Piece)
      continue;
    const size_t piece = part.index;
    const TextRef after = texts[piece + 1];
    next.clear();
    auto admit = [&](size_t end) {
      if (after.empty() || startsWithText(line.substr(end), after, ignoreCase))
        next.push_back(end + after.size());
    };
    for (size_t from : reach) {
      if (++spent > budget)
        return Outcome::Undecided;
      if (!part.compiled) {
        admit(from);
        continue;
      }
      size_t scanned = 0;
      bool any = part.compiled->regex.matchLengths(range, from, stop, work.lengths, scanned);
      spent += scanned;
      if (spent > budget)
        return Outcome::Undecided;
      if (!any)
        continue;
      for (size_t word = 0; word != work.lengths.size(); ++word)
        for (uint64_t bits = work.lengths[word]; bits != 0; bits &= bits - 1)
          admit(from + word * 64 + size_t(__builtin_ctzll(bits)));
    }
    if (reach.size() > 1) {
      std::sort(next.begin(), next.end());
      next.erase(std::unique(next.begin(), next.end()), next.end());
    }
    if (next.empty())
      return Outcome::NotFound;
    if (spans) {
      // Only a piece followed by more pieces can end in more than one place
      // that leads on; which one the groups take is the whole expression's
      // to say.
      if (piece + 1 != count && next.size() > 1)
        return Outcome::Undecided;
      work.pieceStart[piece] = reach.front();
      work.pieceEnd[piece] = next.back() - after.size();
    }
    reach.swap(next);
  }
  matchEnd = reach.back();
  return Outcome::Found;
}

} // namespace ostrel
