#ifndef OSTREL_UPDATE_CHECKPROOF_H
#define OSTREL_UPDATE_CHECKPROOF_H

/// The proof that a check file passes: the checker's own engine reads the
/// check text and verifies the output against it, in process, with the
/// options the check will run with. Nothing is printed; the checker's
/// diagnostics are kept for the caller to print when the proof fails.

#include "engine/CheckOptions.h"
#include "engine/DiagnosticSink.h"
#include "support/fs/TextRef.h"

#include <string>

namespace ostrel {

struct ProofResult {
  bool passed = false;
  /// What the checker reported, to be replayed onto a stream.
  DiagnosticRecorder reports;
};

/// How the output reaches proveCheck: as read, or already prepared under
/// the same options (and followed by a NUL), which spares a second copy of
/// a large output.
enum class OutputForm { Raw, Prepared };

/// Checks `output` (named `outputName`) against `checkText` (named
/// `checkName`) under `options`.
ProofResult proveCheck(const CheckOptions &options, TextRef checkText, TextRef checkName,
                       TextRef output, TextRef outputName, OutputForm form = OutputForm::Raw);

} // namespace ostrel

#endif
