#include "update/CheckProof.h"

#include "engine/CheckEngine.h"
#include "support/diag/OutputStream.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/FileBuffer.h"

#include <cstdio>
#include <unistd.h>

namespace {

/// Sends what the engine writes on standard error to a temporary file for
/// as long as it lives, and hands back the text.
class StandardErrorCapture {
public:
  StandardErrorCapture() {
    standardError().flush();
    file = std::tmpfile();
    saved = dup(2);
    if (file && saved >= 0)
      dup2(fileno(file), 2);
  }
  std::string finish() {
    standardError().flush();
    std::string text;
    if (file && saved >= 0) {
      dup2(saved, 2);
      std::rewind(file);
      char chunk[4096];
      size_t got;
      while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, got);
    }
    if (saved >= 0)
      close(saved);
    if (file)
      std::fclose(file);
    saved = -1;
    file = nullptr;
    return text;
  }
  ~StandardErrorCapture() {
    if (file || saved >= 0)
      finish();
  }

private:
  std::FILE *file = nullptr;
  int saved = -1;
};

} // namespace

ProofResult proveCheck(const CheckOptions &options, TextRef checkText, TextRef checkName,
                       TextRef output, TextRef outputName) {
  ProofResult result;
  StandardErrorCapture capture;
  CheckEngine engine(options);
  if (engine.verifyPrefixes()) {
    CompiledRegex prefixMatcher = engine.buildPrefixMatcher();
    SourceRegistry registry;
    std::string checkStore, outputStore;
    TextRef preparedCheck = engine.prepareText(checkText, checkStore);
    registry.addBuffer(viewText(preparedCheck, checkName));
    if (!engine.parseCheckText(registry, preparedCheck, prefixMatcher)) {
      TextRef preparedOutput = engine.prepareText(output, outputStore);
      registry.addBuffer(viewText(preparedOutput, outputName));
      result.passed = engine.verifyInput(registry, preparedOutput);
    }
  }
  result.diagnostics = capture.finish();
  return result;
}
