#include "support/diag/SeverityLabel.h"

namespace ostrel {

namespace {

struct Label {
  TextColour colour;
  TextRef text;
};

// Indexed by DiagSeverity.
const Label labels[] = {
    {TextColour::Red, "error: "},
    {TextColour::Magenta, "warning: "},
    {TextColour::Blue, "remark: "},
    {TextColour::Black, "note: "},
};

OutputStream &labelAfterPrefix(OutputStream &os, TextRef prefix, DiagSeverity severity,
                               bool disableColours) {
  if (!prefix.empty())
    os << prefix << ": ";
  return writeSeverityLabel(os, severity,
                            disableColours ? ColourPolicy::Disable : ColourPolicy::Auto);
}

} // namespace

OutputStream &writeSeverityLabel(OutputStream &os, DiagSeverity severity, ColourPolicy policy) {
  const Label &label = labels[static_cast<unsigned>(severity) & 3];
  ColourScope scope(os, {.colour = label.colour, .bold = true}, policy);
  return os << label.text;
}

OutputStream &errorLabel(OutputStream &os, TextRef prefix, bool disableColours) {
  return labelAfterPrefix(os, prefix, DiagSeverity::Error, disableColours);
}
OutputStream &warningLabel(OutputStream &os, TextRef prefix, bool disableColours) {
  return labelAfterPrefix(os, prefix, DiagSeverity::Warning, disableColours);
}
OutputStream &noteLabel(OutputStream &os, TextRef prefix, bool disableColours) {
  return labelAfterPrefix(os, prefix, DiagSeverity::Note, disableColours);
}
OutputStream &remarkLabel(OutputStream &os, TextRef prefix, bool disableColours) {
  return labelAfterPrefix(os, prefix, DiagSeverity::Remark, disableColours);
}

} // namespace ostrel
