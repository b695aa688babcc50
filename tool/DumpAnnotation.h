#ifndef OSTREL_TOOL_DUMPANNOTATION_H
#define OSTREL_TOOL_DUMPANNOTATION_H

/// The annotations printed under the lines of the annotated input dump: one
/// labelled marker per input line that a match record touches. They are made
/// from the match records the check engine collected, one per record, and
/// printed by emitInputDump (InputDump.h), which draws the continuation lines
/// of a record that spans lines as it reaches them.

#include "engine/MatchDiag.h"
#include "support/diag/OutputStream.h"
#include "support/diag/SourceRegistry.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ostrel {

/// How the marked columns of an annotation look.
struct DumpMarker {
  /// Printed at the first marked column; "~" fills the others.
  char lead = ' ';
  /// Always printed bold.
  TextColour colour = TextColour::Black;
  /// Printed after the input line's width; may be empty.
  std::string note;
  /// Selected by the dump filter "error".
  bool countsAsError = false;
};

/// End column meaning "up to the end of the input line".
constexpr uint32_t dumpColumnLineEnd = UINT32_MAX;

struct DumpAnnotation {
  /// Position of the source record in the record list; shared by all the
  /// annotations made from one record.
  uint32_t diagIndex = 0;
  /// E.g. "check:3", "dag:7'1", "not:imp2".
  std::string label;
  /// False for the continuation lines of a record that spans lines.
  bool isFirstLine = true;
  /// 1-based input line under which the annotation is printed.
  uint32_t inputLine = 0;
  /// 1-based first marked column.
  uint32_t startColumn = 0;
  /// 1-based column after the last marked one, or dumpColumnLineEnd.
  uint32_t endColumn = 0;
  DumpMarker marker;
  /// The record was a good match (highlighted in verbose dumps).
  bool isExpectedMatch = false;
  /// For a range over several lines: the last line it marks, after
  /// `inputLine`, and the end column there. Each line in between is marked
  /// from column 1 to its end with "~" and no note, in the marker's colour.
  /// Kept as two numbers rather than one annotation per line, so that a
  /// search range over the whole input costs nothing per line until shown.
  uint32_t lastLine = 0;
  uint32_t lastEndColumn = 0;

  /// Whether the range continues on lines after `inputLine`.
  bool spansLines() const { return lastLine > inputLine; }
  /// The annotation of continuation line `line` (inputLine < line <= lastLine).
  DumpAnnotation continuation(uint32_t line) const;
};

/// The marker style of a match outcome.
DumpMarker dumpMarkerFor(MatchOutcome outcome);

/// The short word that starts the label of a directive type ("check",
/// "count", "next", ...).
const char *dumpLabelWord(CheckKind kind);

struct DumpAnnotations {
  std::vector<DumpAnnotation> annotations;
  /// Length of the longest label; 0 without annotations.
  uint32_t labelWidth = 0;
};

/// Turns `records` into annotations, one per record, in record order. `checkBufferId` is the
/// check file's buffer; every other check location lies in one of the
/// implicit-pattern buffers [implicitRange.first, implicitRange.second).
DumpAnnotations collectDumpAnnotations(const SourceRegistry &registry, unsigned checkBufferId,
                                       std::pair<unsigned, unsigned> implicitRange,
                                       const std::vector<MatchDiag> &records);

} // namespace ostrel

#endif
