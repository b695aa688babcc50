#include "update/CheckProof.h"

namespace ostrel {

ProofResult proveCheck(const CheckOptions &options, const CheckTexts &texts) {
  ProofResult result;
  result.passed = CheckRun(options, result.reports).runTexts(texts) == RunStatus::Passed;
  return result;
}

} // namespace ostrel
