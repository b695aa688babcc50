#ifndef OSTREL_UPDATE_CHECKPROOF_H
#define OSTREL_UPDATE_CHECKPROOF_H

/// The proof that a check file passes: the checker's own engine reads the
/// check text and verifies the output against it, in process, with the
/// options the check will run with. Nothing is printed; the checker's
/// diagnostics are kept for the caller to print when the proof fails.

#include "engine/CheckOptions.h"
#include "engine/CheckRun.h"
#include "engine/DiagnosticSink.h"

namespace ostrel {

struct ProofResult {
  bool passed = false;
  /// What the checker reported, to be replayed onto a stream.
  DiagnosticRecorder reports;
};

/// Checks the output, `texts.input`, against `texts.checkText` under
/// `options`.
ProofResult proveCheck(const CheckOptions &options, const CheckTexts &texts);

} // namespace ostrel

#endif
