#ifndef OSTREL_TOOL_INPUTDUMP_H
#define OSTREL_TOOL_INPUTDUMP_H

/// The annotated input dump: the prepared input reprinted with line numbers
/// and, under each line, the annotations that say where directives matched or
/// failed. A filter and a context count choose the lines shown; runs of other
/// lines are elided. Also the explanation printed for -dump-input=help.

#include "support/diag/OutputStream.h"
#include "support/fs/TextRef.h"
#include "tool/DumpAnnotation.h"

#include <cstdint>
#include <vector>

namespace ostrel {

/// Which input lines the dump shows (besides their context). The numbers
/// order the precedence when the option is given several times.
enum class DumpFilter : int32_t {
  Error = 0,          ///< lines where error annotations start
  Annotation = 1,     ///< lines where any annotation starts
  AnnotationFull = 2, ///< lines with any annotation
  All = 3,            ///< every line
};

/// What one input dump shows.
struct InputDumpView {
  /// The prepared input.
  TextRef input;
  /// Sorted in place into print order (line, then record).
  std::vector<DumpAnnotation> &annotations;
  /// The length of the longest label.
  uint32_t labelWidth = 0;
  DumpFilter filter = DumpFilter::Error;
  /// Lines shown before and after each line the filter selects.
  uint32_t context = 0;
  /// Whether the run was verbose (-v or -vv).
  bool verbose = false;
};

/// Prints the dump `view` describes, from "Input was:" to ">>>>>>", onto
/// `os`.
void emitInputDump(OutputStream &os, const InputDumpView &view);

/// Writes the explanation of the dump format onto `os` (standard output by
/// default), with bold and coloured pieces when the stream shows colours.
void printDumpHelp(OutputStream &os);
void printDumpHelp();

} // namespace ostrel

#endif
