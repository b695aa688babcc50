#ifndef OSTREL_SUPPORT_DIAG_SEVERITYLABEL_H
#define OSTREL_SUPPORT_DIAG_SEVERITYLABEL_H

/// The severities of diagnostics and the coloured labels that introduce them
/// ("error: ", "warning: ", "remark: ", "note: ").

#include "support/diag/ColourScope.h"
#include "support/fs/TextRef.h"

namespace ostrel {

class OutputStream;

enum class DiagSeverity { Error = 0, Warning = 1, Remark = 2, Note = 3 };

/// Writes the label of `severity` in its colour, bold, when `policy` decides
/// for colours on `os`; the colon and the blank are coloured too.
OutputStream &writeSeverityLabel(OutputStream &os, DiagSeverity severity, ColourPolicy policy);

// The labels of the four severities, after "prefix: " when a prefix is given;
// coloured as the automatic decision says, unless `disableColours`.
OutputStream &errorLabel(OutputStream &os, TextRef prefix = {}, bool disableColours = false);
OutputStream &warningLabel(OutputStream &os, TextRef prefix = {}, bool disableColours = false);
OutputStream &noteLabel(OutputStream &os, TextRef prefix = {}, bool disableColours = false);
OutputStream &remarkLabel(OutputStream &os, TextRef prefix = {}, bool disableColours = false);

} // namespace ostrel

#endif
