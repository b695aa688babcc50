#ifndef OSTREL_UPDATE_TESTFILE_H
#define OSTREL_UPDATE_TESTFILE_H

/// Where a test file holds the directives of one check prefix, and the file
/// rewritten with new directives in their place: every byte that is not such
/// a directive stays as it was.
///
/// The directives on lines of their own fall into sections: those before the
/// first label, and each label with the directives after it up to the next
/// label, whatever other lines stand between them. Each new block goes to the
/// section of its label (the block before the first label to the section
/// before the first label), and inside a section the new directives are
/// aligned with the old ones, so that an unchanged output changes no byte and
/// the lines between directives stay where they were. Directives the tool
/// does not write (NOT, DAG, COUNT, hand-made expressions) are the user's:
/// they stay beside the generated lines they stood beside.

#include "engine/CheckKind.h"
#include "engine/CheckOptions.h"
#include "support/regex/CompiledRegex.h"
#include "update/DirectiveGenerator.h"

#include <optional>
#include <string>
#include <vector>

namespace ostrel {

/// The outcome of a rewrite, for the report.
struct RewrittenFile {
  std::string text;
  unsigned directivesAfter = 0;
  /// Label patterns that are new, and those that are gone, in order.
  std::vector<std::string> labelsAdded;
  std::vector<std::string> labelsRemoved;
  /// Labels of a file without a record that matched no label of the output
  /// when none did: the user's seeds, kept as written.
  std::vector<std::string> labelsUnmatched;
  /// The user's directives that lost the generated lines around them, as
  /// "LINE: TEXT"; the text omits them.
  std::vector<std::string> droppedHandWritten;
};

class TestFile {
public:
  /// Finds the directives of `prefix` in `text` with the prefix expression
  /// of an engine whose completed options are `options` (the one check
  /// prefix, the comment prefixes, the whitespace rules). A directive is
  /// taken for the tool's when it is of a kind the tool writes and its
  /// blocks are escapes, anchors, numbers or a built-in scrubber's
  /// expressions.
  TestFile(TextRef text, const CompiledRegex &prefixMatcher, const CheckOptions &options,
           TextRef prefix);

  /// Takes blocks holding one of `knownExpressions` (the user's scrubbers)
  /// for the tool's too.
  void recogniseExpressions(const std::vector<std::string> &knownExpressions);

  unsigned directiveCount() const { return directives; }
  /// The text of the prefix's record line (see RecordedCommand.h), if any.
  const std::optional<std::string> &recordedCommand() const { return recorded; }

  /// The file with `blocks` in place of the old directives (see the top of
  /// this file). Without any directive the blocks are appended, with
  /// `newLeader`. With `recordBody`, the record line gets that text (after
  /// its leader), or is added before the first directive.
  RewrittenFile rewrite(const std::vector<DirectiveBlock> &blocks, TextRef newLeader,
                        const std::optional<std::string> &recordBody = std::nullopt) const;

  /// The pattern text of a label key, for messages.
  static TextRef labelText(TextRef key);

private:
  /// What decides whether a directive is the tool's.
  struct DirectiveForm {
    CheckKind kind;
    TextRef pattern;
    bool countForm; ///< CHECK-COUNT-n
  };
  /// A line holding one directive of the prefix after a leader and nothing
  /// else.
  struct Entry {
    size_t lineStart;
    size_t bodyStart;   ///< where the prefix starts
    size_t contentEnd;  ///< before the line end
    size_t lineEnd;     ///< after the line end
    unsigned lineNumber;
    bool label;
    bool generated; ///< of a kind and form the tool writes
    DirectiveForm form;
  };
  /// The directives before the first label (headed by no label), or a label
  /// and the directives after it; indexes into `entries`.
  struct Section {
    std::vector<size_t> members;
    std::string key;
  };
  /// A directive that shares its line with other text.
  struct InlineDirective {
    size_t start;
    size_t end;
    DirectiveForm form;
    bool generated;
  };
  struct Record {
    size_t lineStart;
    size_t bodyStart;
    size_t contentEnd;
  };
  struct Plan;

  static bool isGenerated(const DirectiveForm &form, const std::vector<std::string> &known);
  TextRef text;
  TextRef prefix;
  unsigned directives = 0;
  std::vector<Entry> entries;
  std::vector<Section> sections;
  std::vector<InlineDirective> inlineDirectives;
  std::optional<Record> recordLine;
  std::optional<std::string> recorded;

  TextRef body(const Entry &entry) const {
    return text.substr(entry.bodyStart, entry.contentEnd - entry.bodyStart);
  }
  std::string droppedLine(const Entry &entry) const {
    return std::to_string(entry.lineNumber) + ": " + std::string(body(entry));
  }
  std::string defaultLineEnd() const;
  void alignSection(Plan &plan, const Section &section, const std::vector<TextRef> &fresh) const;
};

/// The comment leader for new directives in a file without any: from its
/// extension (".ll" "; ", C-like "// ", ".py .sh .txt" "# "), else none.
std::string leaderForFileName(TextRef fileName);

} // namespace ostrel

#endif
