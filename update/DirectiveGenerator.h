#ifndef OSTREL_UPDATE_DIRECTIVEGENERATOR_H
#define OSTREL_UPDATE_DIRECTIVEGENERATOR_H

/// Turns a prepared output into directives that match it line by line: the
/// first line P:, later lines P-NEXT:, empty lines P-EMPTY:, label lines
/// P-LABEL: (each starting a new block); with `whole`, each line anchored at
/// both ends and a final P-NOT: that nothing follows. Values found by scrubbers become
/// regular-expression blocks, with a variable where a value recurs; decimal
/// numbers may become numeric variables and expressions.

#include "engine/CheckOptions.h"
#include "update/DirectiveList.h"
#include "update/Scrubber.h"

#include <set>
#include <string>
#include <vector>

namespace ostrel {

/// A --label expression, kept with its text for messages.
struct LabelRule {
  explicit LabelRule(TextRef text) : text(text), regex(text) {}
  std::string text;
  CompiledRegex regex;
};

struct GeneratorSettings {
  std::string prefix = "CHECK";
  /// Lines in which one of these matches become labels.
  std::vector<LabelRule> labels;
  std::vector<Scrubber> scrubbers;
  bool scrubNumbers = false;
  /// The checker options the directives are written for: whitespace,
  /// full lines and variable scope decide how a pattern is read and matched.
  CheckOptions checker;
  /// The directives pin whole lines and the end of the output.
  bool whole = false;
};

/// The directives for one stretch of output: the lines before the first
/// label, or a label line and the lines after it up to the next label.
struct DirectiveBlock {
  /// For a label block, what identifies the label among the labels of a
  /// test file (see labelKey); empty for the block before the first label.
  std::string labelKey;
  /// One directive per line, without comment leader or line end.
  DirectiveList directives;
};

/// The directives for an output, or why a check file cannot hold them.
struct GeneratedDirectives {
  std::vector<DirectiveBlock> blocks;
  /// Empty, or the reason the output is refused.
  std::string refusal;
  /// For each label expression, whether it matched a line.
  std::vector<bool> labelMatched;
  /// The stems of the scrubbers that found a value.
  std::set<std::string> stemsFound;
};

/// The most expression blocks, and about the most bytes, of one directive
/// written with blocks: the checker's time grows fast with the size of one
/// expression, so a longer line is cut into several directives. A line
/// matched whole cannot be cut; it may be larger, up to the second limits.
constexpr size_t maxBlocksPerDirective = 16;
constexpr size_t maxPatternBytes = 256;
constexpr size_t maxBlocksPerWholeLine = 64;
constexpr size_t maxWholeLineBytes = 4096;

/// The directives for `output`, prepared as the checker prepares its input
/// (CR LF turned into LF, blank runs folded unless whitespace is strict).
/// An output without lines gives no blocks.
GeneratedDirectives generateDirectives(TextRef output, const GeneratorSettings &settings);

/// The identity of a label directive: its modifiers and its pattern text.
std::string labelKey(bool literal, TextRef patternText);

} // namespace ostrel

#endif
