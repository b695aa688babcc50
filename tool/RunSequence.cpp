#include "tool/RunSequence.h"

#include "engine/CheckEngine.h"
#include "engine/CheckRun.h"
#include "engine/DefinitionShape.h"
#include "engine/DiagnosticSink.h"
#include "engine/EngineErrors.h"
#include "engine/MatchDiag.h"
#include "support/cmdline/CommandLineParser.h"
#include "support/fs/FileBuffer.h"
#include "tool/DumpAnnotation.h"
#include "tool/DumpSettings.h"
#include "tool/InputDump.h"
#include "tool/ToolOptions.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

namespace {

constexpr int statusSuccess = 0;
constexpr int statusCheckFailed = 1;
constexpr int statusUsageError = 2;
/// The status for a check file the engine rejected: a stray "]" in a
/// substitution block ends the checker like a failed check, anything else
/// like a bad command line.
int rejectedCheckStatus(ErrorValue rejected) {
  int status = rejected.isA<UnbalancedBracketError>() ? statusCheckFailed : statusUsageError;
  dropError(std::move(rejected));
  return status;
}

/// Checks the prefixes and their combined expression; false when the run
/// cannot start, which has been reported.
bool startRun(CheckRun &run, OutputStream &errs) {
  if (ErrorValue rejected = run.checkPrefixes()) {
    dropError(std::move(rejected));
    return false;
  }
  std::string regexError;
  if (!run.prefixMatcher().checkValid(regexError)) {
    errs << "Unable to combine check-prefix strings into a prefix regular expression! This is "
            "likely a bug in Ostrel's verification of the check-prefix strings. Regular "
            "expression parsing failed with the following error: "
         << regexError << '\n';
    return false;
  }
  return true;
}

/// Reads the input file, or reports why it cannot be checked; `inputName`
/// is what messages call it.
std::unique_ptr<OwnedFileBuffer> readInput(const toolOptions::Settings &settings,
                                           const std::string &inputName, OutputStream &errs,
                                           int argc, char **argv) {
  OwnedFileBufferOrError inputFile = readFileOrInput(settings.inputFile);
  if (!inputFile) {
    errs << "Could not open input file '" << inputName << "': " << inputFile.error.message()
         << '\n';
    return nullptr;
  }
  if (inputFile.buffer->bufferSize() == 0 && !settings.check.allowEmpty) {
    errs << "Ostrel error: '" << inputName << "' is empty.\n";
    echoCommandLine(errs, argc, argv);
    return nullptr;
  }
  return std::move(inputFile.buffer);
}

/// Prints the annotated input dump of `run` with its header.
void printInputDump(CheckRun &run, const toolOptions::Settings &settings,
                    const std::string &inputName, const std::vector<MatchDiag> &records,
                    OutputStream &errs) {
  errs << "\nInput file: " << inputName << "\nCheck file: " << settings.checkFile
       << "\n\n-dump-input=help explains the following input dump.\n\n";
  DumpAnnotations annotations = collectDumpAnnotations(run.registry(), run.checkBufferId(),
                                                       run.implicitBufferRange(), records);
  emitInputDump(errs, {.input = run.input(),
                       .annotations = annotations.annotations,
                       .labelWidth = annotations.labelWidth,
                       .filter = settings.dump.filter,
                       .context = settings.dump.context,
                       .verbose = settings.check.verbose});
}

} // namespace

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
  toolOptions::Settings settings = toolOptions::read();
  if (settings.dump.mode == DumpMode::Help) {
    printDumpHelp();
    return statusSuccess;
  }
  if (settings.checkFile.empty()) {
    errs << "<check-file> not specified\n";
    return statusUsageError;
  }
  // Every bad definition is reported before any file is opened.
  if (!checkDefinitionShapes(toolOptions::defines(), errs, TextRef(), &settings.check.defines))
    return statusUsageError;

  StreamDiagnosticSink reports(errs);
  CheckRun run(settings.check, reports);
  run.keepEngineUntilExit();
  if (!startRun(run, errs))
    return statusUsageError;

  // Each file is prepared in place and handed to the run, which keeps it
  // until the end: patterns and captured values point into it.
  OwnedFileBufferOrError checkFile = readFileOrInput(settings.checkFile);
  if (!checkFile) {
    errs << "Could not open check file '" << settings.checkFile
         << "': " << checkFile.error.message() << '\n';
    return statusUsageError;
  }
  if (ErrorValue rejected = run.readCheckFile(std::move(checkFile.buffer)))
    return rejectedCheckStatus(std::move(rejected));

  // Every message calls standard input by its buffer's name.
  const std::string inputName =
      settings.inputFile == "-" ? std::string("<stdin>") : settings.inputFile;
  std::unique_ptr<OwnedFileBuffer> input = readInput(settings, inputName, errs, argc, argv);
  if (!input)
    return statusUsageError;

  const DumpMode dumpMode = settings.dump.mode;
  std::optional<std::vector<MatchDiag>> records;
  if (dumpMode != DumpMode::Never)
    records.emplace();
  ErrorValue failed = run.verifyFile(std::move(input), records ? &*records : nullptr,
                                     dumpMode == DumpMode::Fail
                                         ? CheckEngine::RecordUse::FailedRunOnly
                                         : CheckEngine::RecordUse::AnyRun);
  const bool passed = !failed;
  dropError(std::move(failed));
  if (dumpMode == DumpMode::Always || (dumpMode == DumpMode::Fail && !passed))
    printInputDump(run, settings, inputName, *records, errs);
  return passed ? statusSuccess : statusCheckFailed;
}

} // namespace ostrel
