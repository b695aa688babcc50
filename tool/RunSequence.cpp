#include "tool/RunSequence.h"

#include "engine/CheckEngine.h"
#include "engine/DiagnosticSink.h"
#include "engine/EngineErrors.h"
#include "engine/MatchDiag.h"
#include "support/cmdline/CommandLineParser.h"
#include "support/diag/SourceRegistry.h"
#include "support/fs/FileBuffer.h"
#include "support/regex/CompiledRegex.h"
#include "tool/DumpAnnotation.h"
#include "tool/DumpSettings.h"
#include "tool/InputDump.h"
#include "tool/ToolOptions.h"

#include <algorithm>
#include <optional>

namespace {

constexpr int statusSuccess = 0;
constexpr int statusCheckFailed = 1;
constexpr int statusUsageError = 2;
/// The status for a check file the engine rejected. A stray "]" in a
/// substitution block has always ended the checker like a failed check.
int rejectedCheckStatus(ErrorValue rejected) {
  int status = rejected.isA<UnbalancedBracketError>() ? statusCheckFailed : statusUsageError;
  dropError(std::move(rejected));
  return status;
}

} // namespace

bool checkDefinitions(const std::vector<std::string> &values, std::vector<TextRef> &accepted,
                      OutputStream &errors) {
  bool allGood = true;
  for (const std::string &value : values) {
    size_t equals = value.find('=');
    if (equals == std::string::npos) {
      errors << "Missing equal sign in command-line definition '-D" << value << "'\n";
      allGood = false;
    } else if (equals == 0) {
      errors << "Missing variable name in command-line definition '-D" << value << "'\n";
      allGood = false;
    } else {
      accepted.push_back(value);
    }
  }
  return allGood;
}

void echoCommandLine(OutputStream &os, int argc, const char *const *argv) {
  os << "Ostrel command line: ";
  for (int i = 0; i < argc; ++i) {
    os << ' ';
    if (argv[i])
      os << argv[i];
  }
  os << '\n';
}

int runOstrel(int argc, char **argv) {
  OutputStream &errs = standardError();
  parseCommandLine(argc, argv, TextRef(), "OSTREL_OPTS");

  DumpSettings dump = deriveDumpSettings(toolOptions::dumpInput(), toolOptions::dumpInputFilter(),
                                         toolOptions::dumpInputContext());
  if (dump.mode == DumpMode::Help) {
    printDumpHelp();
    return statusSuccess;
  }

  const std::string &checkFileName = toolOptions::checkFile();
  if (checkFileName.empty()) {
    errs << "<check-file> not specified\n";
    return statusUsageError;
  }

  CheckOptions options;
  options.checkPrefixes = viewsOf(toolOptions::checkPrefixes());
  options.commentPrefixes = viewsOf(toolOptions::commentPrefixes());
  options.implicitCheckNot = viewsOf(toolOptions::implicitCheckNot());
  options.strictWhitespace = toolOptions::strictWhitespace();
  options.allowEmpty = toolOptions::allowEmpty();
  options.allowUnusedPrefixes = toolOptions::allowUnusedPrefixes();
  options.matchFullLines = toolOptions::matchFullLines();
  options.ignoreCase = toolOptions::ignoreCase();
  options.enableVarScope = toolOptions::enableVarScope();
  options.allowDeprecatedDagOverlap = toolOptions::allowDeprecatedDagOverlap();
  options.verbose = toolOptions::verbose() || toolOptions::veryVerbose();
  options.veryVerbose = toolOptions::veryVerbose();

  // Every bad definition is reported before any file is opened.
  if (!checkDefinitions(toolOptions::defines(), options.defines, errs))
    return statusUsageError;

  StreamDiagnosticSink reports(errs);
  // The engine is freed by the end of the process, not by its destructor:
  // freeing the patterns of a large check file one by one, and the allocator
  // merging the freed blocks afterwards, took a quarter of such a run. The
  // static keeps it reachable; a later run in the same process frees it.
  static CheckEngine *keptEngine = nullptr;
  delete keptEngine;
  keptEngine = new CheckEngine(options, reports);
  CheckEngine &engine = *keptEngine;
  if (ErrorValue rejected = engine.verifyPrefixes()) {
    dropError(std::move(rejected));
    return statusUsageError;
  }
  CompiledRegex prefixMatcher = engine.buildPrefixMatcher();
  std::string regexError;
  if (!prefixMatcher.checkValid(regexError)) {
    errs << "Unable to combine check-prefix strings into a prefix regular expression! This is "
            "likely a bug in Ostrel's verification of the check-prefix strings. Regular "
            "expression parsing failed with the following error: "
         << regexError << '\n';
    return statusUsageError;
  }

  // Each file is prepared in place and handed to the registry, which keeps
  // it until the end of the run: patterns and captured values point into it.
  SourceRegistry registry;
  OwnedFileBufferOrError checkFile = readFileOrInput(checkFileName);
  if (!checkFile) {
    errs << "Could not open check file '" << checkFileName << "': " << checkFile.error.message()
         << '\n';
    return statusUsageError;
  }
  TextRef checkText = engine.prepareText(*checkFile.buffer);
  unsigned checkBufferId = registry.addBuffer(std::move(checkFile.buffer));

  std::pair<unsigned, unsigned> implicitRange{0, 0};
  if (ErrorValue rejected = engine.parseCheckText(registry, checkText, prefixMatcher,
                                                  &implicitRange,
                                                  CheckEngine::storageFor(checkText)))
    return rejectedCheckStatus(std::move(rejected));

  OwnedFileBufferOrError inputFile = readFileOrInput(toolOptions::inputFile());
  // Every message calls standard input by its buffer's name.
  const std::string inputName =
      toolOptions::inputFile() == "-" ? std::string("<stdin>") : toolOptions::inputFile();
  if (!inputFile) {
    errs << "Could not open input file '" << inputName << "': " << inputFile.error.message()
         << '\n';
    return statusUsageError;
  }
  if (inputFile.buffer->bufferSize() == 0 && !options.allowEmpty) {
    errs << "Ostrel error: '" << inputName << "' is empty.\n";
    echoCommandLine(errs, argc, argv);
    return statusUsageError;
  }
  TextRef inputText = engine.prepareText(*inputFile.buffer);
  registry.addBuffer(std::move(inputFile.buffer));

  std::optional<std::vector<MatchDiag>> records;
  if (dump.mode != DumpMode::Never)
    records.emplace();
  ErrorValue failed = engine.verifyInput(registry, inputText, records ? &*records : nullptr,
                                         dump.mode == DumpMode::Fail
                                             ? CheckEngine::RecordUse::FailedRunOnly
                                             : CheckEngine::RecordUse::AnyRun);
  const bool passed = !failed;
  dropError(std::move(failed));

  if (dump.mode == DumpMode::Always || (dump.mode == DumpMode::Fail && !passed)) {
    errs << "\nInput file: " << inputName << "\nCheck file: " << checkFileName
         << "\n\n-dump-input=help explains the following input dump.\n\n";
    DumpAnnotations annotations =
        collectDumpAnnotations(registry, checkBufferId, implicitRange, *records);
    emitInputDump(errs, options, dump.filter, dump.context, inputText, annotations.annotations,
                  annotations.labelWidth);
  }
  return passed ? statusSuccess : statusCheckFailed;
}
