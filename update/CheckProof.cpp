#include "update/CheckProof.h"

#include "engine/CheckEngine.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/FileBuffer.h"

namespace ostrel {

ProofResult proveCheck(const CheckOptions &options, TextRef checkText, TextRef checkName,
                       TextRef output, TextRef outputName, OutputForm form) {
  ProofResult result;
  CheckEngine engine(options, result.reports);
  ErrorValue failed = engine.verifyPrefixes();
  if (!failed) {
    CompiledRegex prefixMatcher = engine.buildPrefixMatcher();
    // Patterns point into the prepared texts, so they live as long as the
    // engine's steps.
    SourceRegistry registry;
    std::string checkStore, outputStore;
    // Both texts end with a NUL, as a prepared copy would.
    TextRef preparedCheck = engine.preparesUnchanged(checkText)
                                ? checkText
                                : engine.prepareText(checkText, checkStore);
    registry.addBuffer(viewText(preparedCheck, checkName));
    failed = engine.parseCheckText(registry, preparedCheck, prefixMatcher, nullptr,
                                   CheckEngine::storageFor(preparedCheck));
    if (!failed) {
      TextRef preparedOutput =
          form == OutputForm::Prepared ? output : engine.prepareText(output, outputStore);
      registry.addBuffer(viewText(preparedOutput, outputName));
      failed = engine.verifyInput(registry, preparedOutput);
    }
  }
  result.passed = !failed;
  dropError(std::move(failed));
  return result;
}

} // namespace ostrel
