#include "update/TestFile.h"

#include "engine/DirectiveScanner.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

namespace {

bool isAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

size_t lineStartOf(TextRef text, size_t offset) {
  size_t newline = offset == 0 ? TextRef::npos : text.rfind('\n', offset - 1);
  return newline == TextRef::npos ? 0 : newline + 1;
}

/// Offset just past the line feed that ends the line holding `offset`.
size_t lineEndOf(TextRef text, size_t offset) {
  size_t newline = text.find('\n', offset);
  return newline == TextRef::npos ? text.size() : newline + 1;
}

TextRef lineEndingOf(TextRef line) {
  if (line.ends_with("\r\n"))
    return "\r\n";
  if (line.ends_with("\n"))
    return "\n";
  return "";
}

} // namespace

TestFile::TestFile(TextRef text, const CompiledRegex &prefixMatcher, const CheckOptions &options)
    : text(text) {
  const bool keepBlanks = options.strictWhitespace && options.matchFullLines;
  DirectiveScanner scanner(text, prefixMatcher, options);
  FoundDirective next;
  while (scanner.next(next)) {
    if (next.kind.type == DirectiveType::Comment)
      continue;
    size_t start = static_cast<size_t>(next.prefix.data() - text.data());
    TextRef pattern = next.patternText;
    size_t end = static_cast<size_t>(pattern.data() + pattern.size() - text.data());
    Directive directive{start, end};
    directives.push_back(directive);
    // The line span the directive covers is whole when the rest of its first
    // and last lines is only a leader and a line end.
    size_t lineStart = lineStartOf(text, start);
    size_t lineEnd = lineEndOf(text, end);
    TextRef leader = text.substr(lineStart, start - lineStart);
    TextRef after = text.substr(end, lineEnd - end);
    bool whole = std::none_of(leader.begin(), leader.end(), isAlnum) &&
                 (after.empty() || after == "\n" || after == "\r\n" || after == "\r");
    if (!whole) {
      inlineDirectives.push_back(directive);
      continue;
    }
    const bool label = next.kind.type == DirectiveType::Label;
    bool joins = !directiveGroups.empty() && directiveGroups.back().end >= lineStart;
    if (!joins) {
      DirectiveGroup group;
      group.start = lineStart;
      group.leader = std::string(text.substr(lineStart, start - lineStart));
      TextRef firstLine = text.substr(lineStart, lineEndOf(text, lineStart) - lineStart);
      group.lineEnd = std::string(lineEndingOf(firstLine));
      group.headedByLabel = label;
      directiveGroups.push_back(std::move(group));
    }
    DirectiveGroup &group = directiveGroups.back();
    group.end = std::max(group.end, lineEnd);
    group.endsUnterminated = group.end == text.size() && !text.ends_with('\n');
    if (label) {
      if (!keepBlanks)
        pattern = trimRight(pattern, " \t");
      group.labelKeys.push_back(labelKey(next.kind.literal(), pattern));
    }
  }
}

std::string TestFile::defaultLineEnd() const {
  size_t newline = text.find('\n');
  if (newline == TextRef::npos)
    return "\n";
  return newline > 0 && text[newline - 1] == '\r' ? "\r\n" : "\n";
}

TextRef TestFile::labelText(TextRef key) { return key.substr(key.find(':') + 1); }

RewrittenFile TestFile::rewrite(const std::vector<DirectiveBlock> &blocks,
                                TextRef newLeader) const {
  RewrittenFile result;
  std::vector<std::vector<const DirectiveBlock *>> placed(directiveGroups.size());
  std::vector<const DirectiveBlock *> appended;

  bool byLabel = directiveGroups.size() >= 2 &&
                 std::all_of(directiveGroups.begin(), directiveGroups.end(),
                             [](const DirectiveGroup &group) { return group.headedByLabel; });
  if (directiveGroups.empty()) {
    for (const DirectiveBlock &block : blocks)
      appended.push_back(&block);
  } else if (!byLabel) {
    for (const DirectiveBlock &block : blocks)
      placed[0].push_back(&block);
  } else {
    std::map<std::string, size_t> groupOfLabel;
    for (size_t g = 0; g < directiveGroups.size(); ++g)
      for (const std::string &key : directiveGroups[g].labelKeys)
        groupOfLabel.emplace(key, g);
    // Blocks whose label has no group follow the block before them; those
    // before any placed block go in front of the first one placed.
    std::vector<const DirectiveBlock *> waiting;
    std::optional<size_t> current;
    for (const DirectiveBlock &block : blocks) {
      auto home = groupOfLabel.find(block.labelKey);
      if (!block.labelKey.empty() && home != groupOfLabel.end()) {
        size_t g = home->second;
        groupOfLabel.erase(home); // a repeated label follows the first
        placed[g].insert(placed[g].end(), waiting.begin(), waiting.end());
        waiting.clear();
        placed[g].push_back(&block);
        current = g;
      } else if (current) {
        placed[*current].push_back(&block);
      } else {
        waiting.push_back(&block);
      }
    }
    placed.back().insert(placed.back().end(), waiting.begin(), waiting.end());
    // The checker takes labels in file order: when the output has put them in
    // another order than the groups, one group holds them all.
    std::vector<size_t> order(blocks.size());
    for (size_t g = 0; g < placed.size(); ++g)
      for (const DirectiveBlock *block : placed[g])
        order[static_cast<size_t>(block - blocks.data())] = g;
    if (!std::is_sorted(order.begin(), order.end())) {
      for (std::vector<const DirectiveBlock *> &list : placed)
        list.clear();
      for (const DirectiveBlock &block : blocks)
        placed[0].push_back(&block);
    }
  }

  std::set<std::string> oldKeys, newKeys;
  for (const DirectiveGroup &group : directiveGroups)
    oldKeys.insert(group.labelKeys.begin(), group.labelKeys.end());
  for (const DirectiveBlock &block : blocks)
    if (!block.labelKey.empty()) {
      newKeys.insert(block.labelKey);
      if (!oldKeys.count(block.labelKey))
        result.labelsAdded.push_back(std::string(labelText(block.labelKey)));
    }
  for (const DirectiveGroup &group : directiveGroups)
    for (const std::string &key : group.labelKeys)
      if (!newKeys.count(key))
        result.labelsRemoved.push_back(std::string(labelText(key)));

  // The edits in file order: each group's lines, each inline directive's
  // bytes, and what is appended. A group's directives are written straight
  // into the new text: a group may hold a million of them.
  struct Edit {
    size_t start;
    size_t end;
    /// Written first, then the directives of `list`, if any.
    std::string before = {};
    const std::vector<const DirectiveBlock *> *list = nullptr;
    std::string leader = {};
    std::string lineEnd = {};
    bool lastUnterminated = false;

    size_t size() const {
      size_t total = before.size();
      if (list)
        for (const DirectiveBlock *block : *list)
          for (const std::string &directive : block->directives)
            total += leader.size() + directive.size() + lineEnd.size();
      return total;
    }
    /// Appends the edit's text to `out`; answers the number of directives.
    size_t write(std::string &out) const {
      out += before;
      if (!list)
        return 0;
      size_t count = 0;
      for (const DirectiveBlock *block : *list)
        for (const std::string &directive : block->directives) {
          if (count++ > 0)
            out += lineEnd;
          out += leader;
          out += directive;
        }
      if (count > 0 && !lastUnterminated)
        out += lineEnd;
      return count;
    }
  };
  std::vector<Edit> edits;
  for (size_t g = 0; g < directiveGroups.size(); ++g) {
    const DirectiveGroup &group = directiveGroups[g];
    std::string lineEnd = group.lineEnd.empty() ? defaultLineEnd() : group.lineEnd;
    edits.push_back(Edit{group.start, group.end, "", &placed[g], group.leader, lineEnd,
                         group.endsUnterminated});
  }
  for (const Directive &directive : inlineDirectives)
    edits.push_back(Edit{directive.start, directive.end});
  if (!appended.empty()) {
    std::string lineEnd = defaultLineEnd();
    std::string tail = !text.empty() && !text.ends_with('\n') ? lineEnd : "";
    edits.push_back(Edit{text.size(), text.size(), tail, &appended, std::string(newLeader),
                         lineEnd, false});
  }
  std::sort(edits.begin(), edits.end(),
            [](const Edit &a, const Edit &b) { return a.start < b.start; });

  size_t size = text.size();
  for (const Edit &edit : edits)
    size += edit.size() - (edit.end - edit.start);
  result.text.reserve(size);
  size_t at = 0;
  for (const Edit &edit : edits) {
    result.text.append(text.substr(at, edit.start - at));
    result.directivesAfter += edit.write(result.text);
    at = edit.end;
  }
  result.text.append(text.substr(at));
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
