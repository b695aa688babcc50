#include "engine/CheckRun.h"

#include "engine/TextPreparation.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OSTREL_LEAK_CHECKER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define OSTREL_LEAK_CHECKER 1
#endif
#ifdef OSTREL_LEAK_CHECKER
#include <sanitizer/lsan_interface.h>
#endif

namespace ostrel {

CheckRun::CheckRun(const CheckOptions &options, DiagnosticSink &sink)
    : checkEngine(std::make_unique<CheckEngine>(options, sink)) {}

CheckRun::~CheckRun() {
  if (!engineKeptUntilExit)
    return;
  CheckEngine *kept = checkEngine.release();
#ifdef OSTREL_LEAK_CHECKER
  // Left on purpose: the leak checker is told so.
  __lsan_ignore_object(kept);
#else
  (void)kept;
#endif
}

const CompiledRegex &CheckRun::prefixMatcher() {
  if (!matcher)
    matcher.emplace(checkEngine->buildPrefixMatcher());
  return *matcher;
}

ErrorValue CheckRun::readCheckFile(std::unique_ptr<OwnedFileBuffer> buffer) {
  TextRef checkText = prepare(*buffer);
  checkBuffer = sourceRegistry.addBuffer(std::move(buffer));
  return checkEngine->parseCheckText(sourceRegistry, checkText, prefixMatcher(), &implicitBuffers,
                                     CheckEngine::storageFor(checkText));
}

ErrorValue CheckRun::readCheckText(TextRef checkText, TextRef name,
                                   CheckEngine::StepStorage storage) {
  checkBuffer = sourceRegistry.addBuffer(viewText(checkText, name));
  return checkEngine->parseCheckText(sourceRegistry, checkText, prefixMatcher(), &implicitBuffers,
                                     storage);
}

ErrorValue CheckRun::verifyFile(std::unique_ptr<OwnedFileBuffer> buffer,
                                std::vector<MatchDiag> *records,
                                CheckEngine::RecordUse recordUse) {
  inputText = prepare(*buffer);
  sourceRegistry.addBuffer(std::move(buffer));
  return checkEngine->verifyInput(sourceRegistry, inputText, records, recordUse);
}

ErrorValue CheckRun::verifyText(TextRef input, TextRef name, std::vector<MatchDiag> *records,
                                CheckEngine::RecordUse recordUse) {
  inputText = input;
  sourceRegistry.addBuffer(viewText(input, name));
  return checkEngine->verifyInput(sourceRegistry, inputText, records, recordUse);
}

TextRef CheckRun::preparedForm(TextRef text, TextForm form, std::string &store) const {
  switch (form) {
  case TextForm::Raw:
    return prepare(text, store);
  case TextForm::RawWithNul:
    return isPrepared(text, options().strictWhitespace) ? text : prepare(text, store);
  case TextForm::Prepared:
    return text;
  }
  return text;
}

RunStatus CheckRun::runTexts(const CheckTexts &texts, std::vector<MatchDiag> *records) {
  if (ErrorValue rejected = checkPrefixes()) {
    dropError(std::move(rejected));
    return RunStatus::Rejected;
  }
  TextRef checkText = preparedForm(texts.checkText, texts.checkForm, checkStore);
  if (ErrorValue rejected =
          readCheckText(checkText, texts.checkName, CheckEngine::storageFor(checkText))) {
    dropError(std::move(rejected));
    return RunStatus::Rejected;
  }
  TextRef input = preparedForm(texts.input, texts.inputForm, inputStore);
  ErrorValue failed = verifyText(input, texts.inputName, records);
  RunStatus status = failed ? RunStatus::Failed : RunStatus::Passed;
  dropError(std::move(failed));
  return status;
}

} // namespace ostrel
