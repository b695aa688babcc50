#ifndef OSTREL_UPDATE_TESTFILE_H
#define OSTREL_UPDATE_TESTFILE_H

/// Where a test file holds the directives of one check prefix, and the file
/// rewritten with new directives in their place: every byte that is not such
/// a directive stays as it was. Directives on lines of their own form groups
/// (runs of consecutive lines); each new directive takes the comment leader
/// and the line end of the group it replaces.

#include "engine/CheckOptions.h"
#include "support/regex/CompiledRegex.h"
#include "update/DirectiveGenerator.h"

#include <string>
#include <vector>

/// A run of consecutive lines that hold nothing but directives of the prefix
/// (after a comment leader).
struct DirectiveGroup {
  size_t start = 0; ///< byte offset of its first line
  size_t end = 0;   ///< byte offset after its last line and that line's end
  /// The text before the prefix on its first line, e.g. "; " or "// ".
  std::string leader;
  /// The line end of its first line ("\n", "\r\n", or empty at the file's end).
  std::string lineEnd;
  /// True when its last line is the file's last and has no line end.
  bool endsUnterminated = false;
  /// The keys (see labelKey) of its LABEL directives, in order.
  std::vector<std::string> labelKeys;
  bool headedByLabel = false;
};

/// The outcome of a rewrite, for the report.
struct RewrittenFile {
  std::string text;
  unsigned directivesAfter = 0;
  /// Label patterns that are new, and those that are gone, in order.
  std::vector<std::string> labelsAdded;
  std::vector<std::string> labelsRemoved;
};

class TestFile {
public:
  /// Finds the check directives in `text` with the prefix expression of an
  /// engine whose completed options are `options` (the one check prefix,
  /// the comment prefixes, the whitespace rules).
  TestFile(TextRef text, const CompiledRegex &prefixMatcher, const CheckOptions &options);

  unsigned directiveCount() const { return static_cast<unsigned>(directives.size()); }
  const std::vector<DirectiveGroup> &groups() const { return directiveGroups; }

  /// The file with `blocks` in place of the old directives. With several
  /// groups each headed by a label, each label's block goes where the group
  /// with the same label was (new labels follow the block before them);
  /// otherwise all blocks replace the first group. Other groups are removed.
  /// Without any group the blocks are appended, with `newLeader`.
  RewrittenFile rewrite(const std::vector<DirectiveBlock> &blocks, TextRef newLeader) const;

  /// The pattern text of a label key, for messages.
  static TextRef labelText(TextRef key);

private:
  struct Directive {
    size_t start;
    size_t end; ///< where its pattern text ends
  };
  TextRef text;
  std::vector<Directive> directives;
  /// Directives that share their line with other text: only their own bytes
  /// are removed.
  std::vector<Directive> inlineDirectives;
  std::vector<DirectiveGroup> directiveGroups;

  std::string defaultLineEnd() const;
};

/// The comment leader for new directives in a file without any: from its
/// extension (".ll" "; ", C-like "// ", ".py .sh .txt" "# "), else none.
std::string leaderForFileName(TextRef fileName);

#endif
