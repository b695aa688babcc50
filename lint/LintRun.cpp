#include "lint/LintRun.h"

#include "engine/CheckEngine.h"
#include "engine/DiagnosticSink.h"
#include "engine/numeric/VariableContext.h"
#include "lint/FileLinter.h"
#include "lint/FileWalker.h"
#include "lint/LintOptions.h"
#include "support/cmdline/CommandLineParser.h"
#include "support/diag/OutputStream.h"
#include "support/fs/FileBuffer.h"

#include <vector>

namespace {

constexpr int statusClean = 0;
constexpr int statusFindings = 1;
constexpr int statusUsageError = 2;

constexpr TextRef programName = "ostrel-lint";

/// Rejects the definitions ostrel's driver would reject, naming each.
bool checkDefinitions(const std::vector<std::string> &definitions, OutputStream &errors) {
  bool allGood = true;
  for (const std::string &definition : definitions) {
    size_t equals = definition.find('=');
    if (equals == std::string::npos || equals == 0) {
      errors << programName << ": for the -D option: '" << definition
             << "' is not NAME=VALUE\n";
      allGood = false;
    }
  }
  return allGood;
}

class FindingCounts {
public:
  void add(LintCheck check) {
    ++counts[static_cast<size_t>(check)];
    ++total;
  }
  bool any() const { return total > 0; }

  /// "N files read, no findings" or "N files read, M findings (K name, ...)".
  std::string summary(size_t filesRead) const {
    std::string line = std::string(programName) + ": " + std::to_string(filesRead) +
                       (filesRead == 1 ? " file" : " files") + " read, ";
    if (total == 0)
      return line + "no findings\n";
    line += std::to_string(total) + (total == 1 ? " finding (" : " findings (");
    bool first = true;
    for (const LintCheckInfo &info : lintChecks()) {
      size_t count = counts[static_cast<size_t>(info.check)];
      if (count == 0)
        continue;
      if (!first)
        line += ", ";
      first = false;
      line += std::to_string(count) + " " + std::string(info.name);
    }
    return line + ")\n";
  }

private:
  std::vector<size_t> counts = std::vector<size_t>(lintChecks().size());
  size_t total = 0;
};

} // namespace

int runLint(int argc, char **argv) {
  OutputStream &errs = standardError();
  parseCommandLine(argc, argv,
                   "ostrel-lint: finds the directives of check files that check less "
                   "than they seem to\n",
                   nullptr, statusUsageError);
  if (!checkDefinitions(lintOptions::defines(), errs))
    return statusUsageError;

  LintSettings settings;
  settings.checkPrefixes = viewsOf(lintOptions::checkPrefixes());
  settings.commentPrefixes = viewsOf(lintOptions::commentPrefixes());
  settings.defines = viewsOf(lintOptions::defines());
  settings.strictWhitespace = lintOptions::strictWhitespace();
  settings.matchFullLines = lintOptions::matchFullLines();
  settings.enableVarScope = lintOptions::enableVarScope();
  // Prefixes and definitions that ostrel would reject are reported once, as
  // ostrel reports them, rather than in every file.
  StreamDiagnosticSink errorSink(errs);
  CheckOptions prefixes;
  prefixes.checkPrefixes = settings.checkPrefixes;
  prefixes.commentPrefixes = settings.commentPrefixes;
  if (ErrorValue rejected = CheckEngine(prefixes, errorSink).verifyPrefixes()) {
    dropError(std::move(rejected));
    return statusUsageError;
  }
  SourceRegistry definitionRegistry;
  if (ErrorValue rejected =
          VariableContext().applyCommandLineDefinitions(settings.defines, definitionRegistry)) {
    errorSink.reportErrors(std::move(rejected));
    return statusUsageError;
  }

  bool unreadable = false;
  std::vector<LintTarget> targets;
  std::vector<std::string> folderErrors;
  for (const std::string &path : lintOptions::paths())
    collectTargets(path, lintOptions::includeGlobs(), targets, folderErrors);
  for (const std::string &message : folderErrors) {
    errs << programName << ": " << message << '\n';
    unreadable = true;
  }

  const bool quiet = lintOptions::quiet();
  const DiagSeverity severity =
      lintOptions::warningsAreErrors() ? DiagSeverity::Error : DiagSeverity::Warning;
  FindingCounts counts;
  size_t filesRead = 0;
  std::string store;
  for (const LintTarget &target : targets) {
    FileBufferOrError file = loadFileOrInput(target.path);
    if (!file) {
      errs << programName << ": cannot read '" << target.path << "': " << file.error.message()
           << '\n';
      unreadable = true;
      continue;
    }
    SourceRegistry registry;
    FileFindings result =
        lintCheckFile(settings, file.buffer->text(), file.buffer->bufferName(), registry, store);
    if (!result.isCheckFile && !target.chosen)
      continue;
    ++filesRead;
    for (const Finding &finding : result.findings) {
      if (!lintOptions::checkEnabled(finding.check))
        continue;
      counts.add(finding.check);
      if (quiet)
        continue;
      std::string message = finding.message + " [-W" + std::string(checkName(finding.check)) + "]";
      SourceRegistry::printDiagnostic(
          errs, registry.makeDiagnostic(finding.location, severity, message, finding.range));
    }
  }

  errs.flush();
  standardOutput() << counts.summary(filesRead);
  if (unreadable)
    return statusUsageError;
  return counts.any() ? statusFindings : statusClean;
}
