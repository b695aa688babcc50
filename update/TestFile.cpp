#include "update/TestFile.h"

#include "engine/DirectiveScanner.h"
#include "support/fs/LargePages.h"
#include "support/fs/LineFeeds.h"
#include "update/RecordedCommand.h"
#include "update/Scrubber.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <set>

namespace ostrel {

namespace {

bool isAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}
bool isWordByte(char c) { return isAlnum(c) || c == '_'; }

size_t lineStartOf(TextRef text, size_t offset) {
  size_t newline = offset == 0 ? TextRef::npos : text.rfind('\n', offset - 1);
  return newline == TextRef::npos ? 0 : newline + 1;
}

/// Offset just past the line feed that ends the line holding `offset`.
size_t lineEndOf(TextRef text, size_t offset) {
  size_t newline = text.find('\n', offset);
  return newline == TextRef::npos ? text.size() : newline + 1;
}

/// Where a line's content ends: before its CR LF or LF.
size_t contentEndOf(TextRef text, size_t lineStart, size_t lineEnd) {
  size_t end = lineEnd;
  if (end > lineStart && text[end - 1] == '\n')
    --end;
  if (end > lineStart && text[end - 1] == '\r')
    --end;
  return end;
}

/// Whether a block's expression is one the tool writes: an escape, an
/// anchor, blanks, a number, or a scrubber's expression.
bool isToolExpression(TextRef expression, const std::vector<std::string> &known) {
  static constexpr TextRef escapes[] = {"\\{", "\\[", "[[.CR.]]", "^", "$", "[0-9]+",
                                        "[[:space:]](.|[[:space:]])", "."};
  if (std::find(std::begin(escapes), std::end(escapes), expression) != std::end(escapes))
    return true;
  TextRef blanks = expression;
  if (blanks.starts_with('^') && blanks.ends_with('$'))
    blanks = blanks.substr(1, blanks.size() - 2);
  if (blanks.find_first_not_of(" \t") == TextRef::npos)
    return true;
  return isBuiltInExpression(expression) ||
         std::find(known.begin(), known.end(), expression) != known.end();
}

/// Whether a variable block ("[[...]]" without the brackets) is one the tool
/// writes: NAME, NAME:EXPRESSION, #NAME:, #NAME, #NAME+k, #NAME-k.
bool isToolVariable(TextRef inner, const std::vector<std::string> &known) {
  bool numeric = inner.starts_with('#');
  if (numeric)
    inner.remove_prefix(1);
  size_t nameEnd = 0;
  while (nameEnd < inner.size() && isWordByte(inner[nameEnd]))
    ++nameEnd;
  if (nameEnd == 0)
    return false;
  TextRef rest = inner.substr(nameEnd);
  if (rest.empty())
    return true;
  if (numeric) {
    if (rest == ":")
      return true;
    return (rest[0] == '+' || rest[0] == '-') && rest.size() > 1 &&
           rest.find_first_not_of("0123456789", 1) == TextRef::npos;
  }
  return rest[0] == ':' && isToolExpression(rest.substr(1), known);
}

/// Whether a pattern holds only blocks the tool writes.
bool isToolPattern(TextRef pattern, const std::vector<std::string> &known) {
  for (size_t i = 0; i + 1 < pattern.size(); ++i) {
    if (pattern.compare(i, 2, "{{") == 0) {
      size_t close = pattern.find("}}", i + 2);
      if (close == TextRef::npos || !isToolExpression(pattern.substr(i + 2, close - i - 2), known))
        return false;
      i = close + 1;
    } else if (pattern.compare(i, 2, "[[") == 0 && pattern.compare(i + 2, 1, "[") == 0) {
      // "[[[": the first bracket is literal text.
    } else if (pattern.compare(i, 2, "[[") == 0) {
      int depth = 0;
      size_t close = i + 2;
      for (; close < pattern.size(); ++close) {
        if (depth == 0 && pattern.compare(close, 2, "]]") == 0)
          break;
        if (pattern[close] == '\\')
          ++close;
        else if (pattern[close] == '[')
          ++depth;
        else if (pattern[close] == ']')
          --depth;
      }
      if (close >= pattern.size() || !isToolVariable(pattern.substr(i + 2, close - i - 2), known))
        return false;
      i = close + 1;
    }
  }
  return true;
}

} // namespace

/// Whether a directive is of a kind and form the tool writes.
bool TestFile::isGenerated(const DirectiveForm &form, const std::vector<std::string> &known) {
  TextRef pattern = trimRight(form.pattern, " \t\r");
  switch (form.kind.type) {
  case DirectiveType::Plain:
    if (form.countForm)
      return false;
    [[fallthrough]];
  case DirectiveType::Next:
  case DirectiveType::Same:
  case DirectiveType::Empty:
  case DirectiveType::Label:
    return form.kind.literal() || isToolPattern(pattern, known);
  case DirectiveType::Not:
    // The check that an output stays empty, or that nothing follows it.
    return pattern == "{{.}}" || pattern == "{{[[:space:]](.|[[:space:]])}}";
  default:
    return false;
  }
}

TestFile::TestFile(TextRef text, const CompiledRegex &prefixMatcher, const CheckOptions &options,
                   TextRef prefix)
    : text(text), prefix(prefix) {
  const std::vector<std::string> knownExpressions;
  const bool keepBlanks = options.strictWhitespace && options.matchFullLines;
  DirectiveScanner scanner(text, prefixMatcher, options);
  FoundDirective next;
  sections.emplace_back(); // the directives before the first label
  // At most a directive a line: reserved once, since a file may hold a
  // million of them.
  entries.reserve(countLineFeeds(text.data(), text.data() + text.size()) + 1);
  adviseLargePages(entries.data(), entries.capacity() * sizeof(Entry));
  while (scanner.next(next)) {
    if (next.kind.type == DirectiveType::Comment)
      continue;
    ++directives;
    size_t start = static_cast<size_t>(next.prefix.data() - text.data());
    TextRef pattern = next.patternText;
    size_t end = static_cast<size_t>(pattern.data() + pattern.size() - text.data());
    DirectiveForm form{next.kind, next.patternText,
                       next.directive.find("-COUNT") != TextRef::npos};
    bool generated = isGenerated(form, knownExpressions);
    size_t lineStart = lineStartOf(text, start);
    size_t lineEnd = lineEndOf(text, end);
    size_t contentEnd = contentEndOf(text, lineStart, lineEnd);
    TextRef leader = text.substr(lineStart, start - lineStart);
    bool whole = std::none_of(leader.begin(), leader.end(), isAlnum) && end >= contentEnd &&
                 lineEndOf(text, start) == lineEnd;
    if (!whole) {
      inlineDirectives.push_back(InlineDirective{start, end, form, generated});
      continue;
    }
    Entry entry{lineStart, start, contentEnd, lineEnd, next.lineNumber,
                next.kind.type == DirectiveType::Label, generated, form};
    if (entry.label) {
      if (!keepBlanks)
        pattern = trimRight(pattern, " \t");
      sections.push_back(Section{{}, labelKey(next.kind.literal(), pattern)});
    }
    sections.back().members.push_back(entries.size());
    entries.push_back(std::move(entry));
  }
  // The record line: a comment line whose text after a leader of blanks and
  // punctuation starts with the marker.
  for (size_t lineStart = 0; lineStart < text.size();) {
    size_t lineEnd = lineEndOf(text, lineStart);
    size_t contentEnd = contentEndOf(text, lineStart, lineEnd);
    size_t bodyStart = lineStart;
    while (bodyStart < contentEnd && !isAlnum(text[bodyStart]))
      ++bodyStart;
    TextRef lineBody = text.substr(bodyStart, contentEnd - bodyStart);
    if (std::optional<std::string> words = recordedText(lineBody, prefix)) {
      recordLine = Record{lineStart, bodyStart, contentEnd};
      recorded = std::move(words);
      break;
    }
    lineStart = lineEnd;
  }
}

void TestFile::recogniseExpressions(const std::vector<std::string> &knownExpressions) {
  // The entries were judged without any when the file was read.
  if (knownExpressions.empty())
    return;
  for (Entry &entry : entries)
    entry.generated = isGenerated(entry.form, knownExpressions);
  for (InlineDirective &directive : inlineDirectives)
    directive.generated = isGenerated(directive.form, knownExpressions);
}

std::string TestFile::defaultLineEnd() const {
  size_t newline = text.find('\n');
  if (newline == TextRef::npos)
    return "\n";
  return newline > 0 && text[newline - 1] == '\r' ? "\r\n" : "\n";
}

TextRef TestFile::labelText(TextRef key) { return key.substr(key.find(':') + 1); }

/// What each entry of the file becomes.
struct TestFile::Plan {
  using List = std::vector<TextRef>;
  /// What goes around an entry besides its own line; few entries have any.
  struct Lists {
    List leading;  ///< blocks placed in front of the entry's section
    List before;   ///< new directives the alignment puts before the entry
    List after;    ///< new directives after the section's last entry
    List trailing; ///< blocks that follow the section
  };
  static constexpr uint32_t noLists = UINT32_MAX;
  // Small, since a file may hold a million entries.
  struct Emission {
    uint32_t lists = noLists;
    /// The entry stays as written: the user's, or generated and paired with
    /// an equal new directive.
    bool keep = false;
  };
  std::vector<Emission> emissions;
  /// A deque, so that a list stays where it is while others are added.
  std::deque<Lists> lists;
  Lists &listsOf(size_t entry) {
    if (emissions[entry].lists == noLists) {
      emissions[entry].lists = static_cast<uint32_t>(lists.size());
      lists.emplace_back();
    }
    return lists[emissions[entry].lists];
  }
  /// Which entries the tool wrote; the seed labels count as the user's.
  std::vector<bool> generated;
  std::vector<std::string> dropped;
};

namespace {

/// The pairs (old, new) of a longest common subsequence of equal texts,
/// found on the common head and tail and, between them, by dynamic
/// programming when that stays small; a larger change is one replacement.
std::vector<std::pair<size_t, size_t>> alignTexts(const std::vector<TextRef> &before,
                                                  const std::vector<TextRef> &after) {
  std::vector<std::pair<size_t, size_t>> pairs;
  size_t head = 0;
  while (head < before.size() && head < after.size() && before[head] == after[head]) {
    pairs.emplace_back(head, head);
    ++head;
  }
  size_t tail = 0;
  while (tail < before.size() - head && tail < after.size() - head &&
         before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
    ++tail;
  size_t rows = before.size() - head - tail;
  size_t columns = after.size() - head - tail;
  constexpr size_t largestTable = 1 << 22;
  if (rows > 0 && columns > 0 && rows * columns <= largestTable) {
    std::vector<unsigned> lengths((rows + 1) * (columns + 1), 0);
    auto at = [&](size_t i, size_t j) -> unsigned & { return lengths[i * (columns + 1) + j]; };
    for (size_t i = rows; i-- > 0;)
      for (size_t j = columns; j-- > 0;)
        at(i, j) = before[head + i] == after[head + j] ? at(i + 1, j + 1) + 1
                                                         : std::max(at(i + 1, j), at(i, j + 1));
    for (size_t i = 0, j = 0; i < rows && j < columns;) {
      if (before[head + i] == after[head + j]) {
        pairs.emplace_back(head + i, head + j);
        ++i;
        ++j;
      } else if (at(i + 1, j) >= at(i, j + 1)) {
        ++i;
      } else {
        ++j;
      }
    }
  }
  for (size_t k = tail; k > 0; --k)
    pairs.emplace_back(before.size() - k, after.size() - k);
  return pairs;
}

} // namespace

void TestFile::alignSection(Plan &plan, const Section &section,
                            const std::vector<TextRef> &fresh) const {
  std::vector<size_t> generated;
  std::vector<TextRef> oldTexts;
  for (size_t member : section.members)
    if (plan.generated[member]) {
      generated.push_back(member);
      oldTexts.push_back(body(entries[member]));
    }
  if (generated.empty()) {
    for (size_t member : section.members)
      plan.emissions[member].keep = true;
    if (!section.members.empty())
      plan.listsOf(section.members.back()).after = fresh;
    return;
  }
  std::vector<std::pair<size_t, size_t>> pairs = alignTexts(oldTexts, fresh);
  std::vector<size_t> partner(generated.size(), SIZE_MAX);
  for (auto [oldIndex, newIndex] : pairs)
    partner[oldIndex] = newIndex;
  // New directives go before the next old one that stays, or in place of
  // the first old one that goes.
  std::vector<size_t> nextPartner(generated.size() + 1, fresh.size());
  for (size_t g = generated.size(); g-- > 0;)
    nextPartner[g] = partner[g] != SIZE_MAX ? partner[g] : nextPartner[g + 1];
  size_t cursor = 0;
  for (size_t g = 0; g < generated.size(); ++g) {
    Plan::Emission &emission = plan.emissions[generated[g]];
    size_t until = nextPartner[g];
    if (cursor < until) {
      Plan::List &before = plan.listsOf(generated[g]).before;
      before.insert(before.end(), fresh.begin() + static_cast<std::ptrdiff_t>(cursor),
                    fresh.begin() + static_cast<std::ptrdiff_t>(until));
      cursor = until;
    }
    if (partner[g] != SIZE_MAX) {
      emission.keep = true;
      cursor = partner[g] + 1;
    }
  }
  if (cursor < fresh.size()) {
    Plan::List &after = plan.listsOf(generated.back()).after;
    after.insert(after.end(), fresh.begin() + static_cast<std::ptrdiff_t>(cursor), fresh.end());
  }
  // The user's directives stay while a generated neighbour stays.
  for (size_t i = 0; i < section.members.size(); ++i) {
    size_t member = section.members[i];
    if (plan.generated[member])
      continue;
    auto survives = [&](size_t at) {
      return plan.generated[at] && plan.emissions[at].keep;
    };
    bool anchored = false;
    for (size_t j = i; j-- > 0 && !anchored;)
      if (plan.generated[section.members[j]]) {
        anchored = survives(section.members[j]);
        break;
      }
    for (size_t j = i + 1; j < section.members.size() && !anchored; ++j)
      if (plan.generated[section.members[j]]) {
        anchored = survives(section.members[j]);
        break;
      }
    // A label of the user's is an anchor itself.
    if (anchored || entries[member].label)
      plan.emissions[member].keep = true;
    else
      plan.dropped.push_back(droppedLine(entries[member]));
  }
}

RewrittenFile TestFile::rewrite(const std::vector<DirectiveBlock> &blocks, TextRef newLeader,
                                const std::optional<std::string> &recordBody) const {
  RewrittenFile result;
  Plan plan;
  plan.emissions.resize(entries.size());
  std::vector<TextRef> appended;
  auto directivesOf = [](const DirectiveBlock &block) {
    return std::vector<TextRef>(block.directives.begin(), block.directives.end());
  };

  // Each block's section: the one before the first label for the block
  // before the first label, else the first unused section of its label.
  const size_t none = SIZE_MAX;
  std::vector<size_t> home(blocks.size(), none);
  std::map<std::string, std::vector<size_t>> sectionsOfKey;
  for (size_t s = sections.size(); s-- > 1;)
    sectionsOfKey[sections[s].key].push_back(s);
  bool labelMatched = false;
  for (size_t b = 0; b < blocks.size(); ++b) {
    if (blocks[b].labelKey.empty()) {
      if (!sections[0].members.empty())
        home[b] = 0;
      continue;
    }
    auto found = sectionsOfKey.find(blocks[b].labelKey);
    if (found != sectionsOfKey.end() && !found->second.empty()) {
      home[b] = found->second.back();
      found->second.pop_back();
      labelMatched = true;
    }
  }
  const bool hasLabels = sections.size() > 1;
  // Labels of a file the tool has not written (it holds no record) of which
  // none matched are the user's seeds: kept as written, while the first
  // section takes every block. In a file the tool wrote, they are its own
  // labels of an output that has changed them all.
  const bool seeds = hasLabels && !labelMatched && !recorded;
  plan.generated.resize(entries.size());
  for (size_t e = 0; e < entries.size(); ++e)
    plan.generated[e] = entries[e].generated && !(seeds && entries[e].label);
  std::vector<size_t> placedOrder;
  for (size_t b = 0; b < blocks.size(); ++b)
    if (home[b] != none)
      placedOrder.push_back(home[b]);
  // The checker takes labels in file order: when the output has put them in
  // another order than the sections, or nothing found a section, the first
  // section takes every block.
  bool oneSection = seeds || placedOrder.empty() ||
                    !std::is_sorted(placedOrder.begin(), placedOrder.end());

  size_t firstSection = 0;
  while (firstSection < sections.size() && sections[firstSection].members.empty())
    ++firstSection;
  std::vector<bool> used(sections.size(), false);
  if (entries.empty() || oneSection) {
    std::vector<TextRef> all;
    for (const DirectiveBlock &block : blocks) {
      std::vector<TextRef> fresh = directivesOf(block);
      all.insert(all.end(), fresh.begin(), fresh.end());
    }
    if (entries.empty()) {
      appended = std::move(all);
    } else {
      alignSection(plan, sections[firstSection], all);
      used[firstSection] = true;
    }
  } else {
    // A block without a section follows the block before it; those before
    // any placed block go in front of the first one placed.
    Plan::List *following = nullptr;
    Plan::List waiting;
    for (size_t b = 0; b < blocks.size(); ++b) {
      std::vector<TextRef> fresh = directivesOf(blocks[b]);
      if (home[b] == none) {
        Plan::List &list = following ? *following : waiting;
        list.insert(list.end(), fresh.begin(), fresh.end());
        continue;
      }
      const Section &section = sections[home[b]];
      used[home[b]] = true;
      if (!waiting.empty()) {
        Plan::List &leading = plan.listsOf(section.members.front()).leading;
        leading.insert(leading.end(), waiting.begin(), waiting.end());
        waiting.clear();
      }
      alignSection(plan, section, fresh);
      following = &plan.listsOf(section.members.back()).trailing;
    }
  }
  // Sections no block took: their generated lines go, and so do the user's,
  // unless the section holds nothing but the user's.
  for (size_t s = 0; s < sections.size(); ++s) {
    if (used[s])
      continue;
    const std::vector<size_t> &members = sections[s].members;
    bool userOnly = std::none_of(members.begin(), members.end(),
                                 [&](size_t member) { return plan.generated[member]; });
    for (size_t member : members)
      if (userOnly || (seeds && entries[member].label))
        plan.emissions[member].keep = true;
      else if (!plan.generated[member])
        plan.dropped.push_back(droppedLine(entries[member]));
  }

  std::set<std::string> oldKeys, newKeys;
  for (size_t s = 1; s < sections.size(); ++s)
    oldKeys.insert(sections[s].key);
  for (const DirectiveBlock &block : blocks)
    if (!block.labelKey.empty()) {
      newKeys.insert(block.labelKey);
      if (!oldKeys.count(block.labelKey))
        result.labelsAdded.push_back(std::string(labelText(block.labelKey)));
    }
  for (size_t s = 1; s < sections.size(); ++s)
    if (!newKeys.count(sections[s].key))
      (seeds ? result.labelsUnmatched : result.labelsRemoved)
          .push_back(std::string(labelText(sections[s].key)));
  result.droppedHandWritten = std::move(plan.dropped);

  // The new text: the old one with each entry replaced by its emission, the
  // generated inline directives cut out, the record line set, and what is
  // appended.
  const std::string fileLineEnd = defaultLineEnd();
  std::string &out = result.text;
  size_t newBytes = 0;
  for (const DirectiveBlock &block : blocks)
    newBytes += block.directives.bytes() + block.directives.size() * (newLeader.size() + 2);
  out.reserve(text.size() + newBytes + (recordBody ? recordBody->size() + 16 : 0));
  adviseLargePages(out.data(), out.capacity());
  size_t at = 0;
  auto copyTo = [&](size_t end) {
    if (end > at)
      out.append(text.substr(at, end - at));
    at = std::max(at, end);
  };
  bool recordPending = recordBody && !recordLine;
  auto writeRecord = [&](TextRef leader, TextRef lineEnd) {
    if (recordPending) {
      out += leader;
      out += *recordBody;
      out += lineEnd;
      recordPending = false;
    }
  };
  size_t inlineIndex = 0;
  auto cutInline = [&](size_t upTo) {
    for (; inlineIndex < inlineDirectives.size() && inlineDirectives[inlineIndex].start < upTo;
         ++inlineIndex) {
      const InlineDirective &cut = inlineDirectives[inlineIndex];
      if (!cut.generated)
        continue;
      copyTo(cut.start);
      at = cut.end;
    }
  };
  for (const InlineDirective &cut : inlineDirectives)
    if (!cut.generated)
      ++result.directivesAfter;
  size_t recordAt = recordLine ? recordLine->lineStart : SIZE_MAX;
  auto passRecord = [&](size_t upTo) {
    if (recordAt < upTo) {
      cutInline(recordAt);
      copyTo(recordLine->bodyStart);
      if (recordBody) {
        out += *recordBody;
        at = recordLine->contentEnd;
      }
      recordAt = SIZE_MAX;
    }
  };
  std::vector<TextRef> lines;
  for (size_t e = 0; e < entries.size(); ++e) {
    const Entry &entry = entries[e];
    const Plan::Emission &emission = plan.emissions[e];
    passRecord(entry.lineStart);
    cutInline(entry.lineStart);
    copyTo(entry.lineStart);
    TextRef leader = text.substr(entry.lineStart, entry.bodyStart - entry.lineStart);
    TextRef ownEnd = text.substr(entry.contentEnd, entry.lineEnd - entry.contentEnd);
    TextRef lineEnd = ownEnd.empty() ? TextRef(fileLineEnd) : ownEnd;
    writeRecord(leader, lineEnd);
    // Every line of the emission ends with a line end but a last one that
    // takes the place of an unterminated last line.
    lines.clear();
    const Plan::Lists *around =
        emission.lists == Plan::noLists ? nullptr : &plan.lists[emission.lists];
    if (around)
      for (const Plan::List *list : {&around->leading, &around->before})
        lines.insert(lines.end(), list->begin(), list->end());
    if (emission.keep)
      lines.push_back(body(entry));
    if (around)
      for (const Plan::List *list : {&around->after, &around->trailing})
        lines.insert(lines.end(), list->begin(), list->end());
    for (size_t i = 0; i < lines.size(); ++i) {
      out += leader;
      out += lines[i];
      if (i + 1 < lines.size() || !ownEnd.empty())
        out += lineEnd;
    }
    result.directivesAfter += static_cast<unsigned>(lines.size());
    at = entry.lineEnd;
  }
  passRecord(SIZE_MAX);
  cutInline(SIZE_MAX);
  copyTo(text.size());
  // A file whose last line was a directive without a line end keeps ending
  // without one.
  if (!entries.empty() && entries.back().lineEnd == text.size() && !text.ends_with('\n') &&
      out.ends_with('\n')) {
    out.pop_back();
    if (out.ends_with('\r'))
      out.pop_back();
  }
  if (!appended.empty() || recordPending) {
    std::string leader(newLeader);
    if (!text.empty() && !text.ends_with('\n'))
      out += fileLineEnd;
    writeRecord(leader, fileLineEnd);
    for (TextRef directive : appended) {
      out += leader;
      out += directive;
      out += fileLineEnd;
    }
    result.directivesAfter += static_cast<unsigned>(appended.size());
  }
  return result;
}

std::string leaderForFileName(TextRef fileName) {
  struct ExtensionLeader {
    TextRef extension;
    TextRef leader;
  };
  static constexpr ExtensionLeader table[] = {
      {".ll", "; "}, {".c", "// "}, {".cc", "// "},  {".cpp", "// "},
      {".h", "// "}, {".py", "# "}, {".sh", "# "},   {".txt", "# "},
  };
  size_t slash = fileName.rfind('/');
  TextRef base = slash == TextRef::npos ? fileName : fileName.substr(slash + 1);
  size_t dot = base.rfind('.');
  if (dot == TextRef::npos)
    return "";
  TextRef extension = base.substr(dot);
  for (const ExtensionLeader &entry : table)
    if (entry.extension == extension)
      return std::string(entry.leader);
  return "";
}

} // namespace ostrel
