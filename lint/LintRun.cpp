#include "lint/LintRun.h"

#include "engine/CheckRun.h"
#include "engine/DefinitionShape.h"
#include "engine/DiagnosticSink.h"
#include "engine/numeric/VariableContext.h"
#include "lint/CheckSelection.h"
#include "lint/FileLinter.h"
#include "lint/FileWalker.h"
#include "lint/FindingWriter.h"
#include "lint/LintOptions.h"
#include "support/cmdline/CommandLineParser.h"
#include "support/diag/OutputStream.h"
#include "support/diag/UnifiedDiff.h"
#include "support/fs/AtomicFile.h"
#include "support/fs/FileBuffer.h"
#include "support/suite/SuiteFile.h"

#include <algorithm>
#include <filesystem>
#include <glob.h>
#include <map>
#include <memory>
#include <vector>

namespace ostrel {

namespace {

constexpr int statusClean = 0;
constexpr int statusFindings = 1;
constexpr int statusUsageError = 2;

constexpr TextRef programName = "ostrel-lint";
constexpr TextRef suiteTableName = "lint";

/// The keys of the suite file's [lint] table.
constexpr SuiteKey suiteKeys[] = {
    {"include", SuiteValueKind::StringList},
    {"exclude", SuiteValueKind::StringList},
    {"check-prefixes", SuiteValueKind::StringList},
    {"defines", SuiteValueKind::StringList},
    {"disable", SuiteValueKind::StringList},
};

/// Rejects the prefixes and definitions that ostrel would reject, reported
/// as ostrel reports them.
bool acceptedByOstrel(const CheckOptions &settings, OutputStream &errors) {
  StreamDiagnosticSink errorSink(errors);
  if (ErrorValue rejected = CheckRun(settings, errorSink).checkPrefixes()) {
    dropError(std::move(rejected));
    return false;
  }
  SourceRegistry definitionRegistry;
  if (ErrorValue rejected =
          VariableContext().applyCommandLineDefinitions(settings.defines, definitionRegistry)) {
    errorSink.reportErrors(std::move(rejected), DiagnosticKind::InvalidDefinition);
    return false;
  }
  return true;
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

/// How the files below one suite root (or outside any suite) are linted:
/// the command line over the suite file's [lint] table.
struct LintScope {
  /// The texts that `settings` views.
  std::vector<std::string> prefixes;
  std::vector<std::string> defines;
  /// Prefixes of a whole suite, which each file uses only some of.
  bool suitePrefixes = false;
  /// How ostrel would read the files.
  CheckOptions settings;
  FileChoice choice;
  CheckSelection selection;
};

/// Applies the -W options to `selection`; false after reporting an unknown
/// check.
bool applyWarningFlags(CheckSelection &selection, OutputStream &errors) {
  for (const std::string &flag : lintOptions::warningFlags()) {
    if (std::string problem = selection.apply(flag); !problem.empty()) {
      errors << programName << ": " << problem << '\n';
      return false;
    }
  }
  return true;
}

/// The scope of the command line alone.
std::unique_ptr<LintScope> commandLineScope(OutputStream &errors) {
  auto scope = std::make_unique<LintScope>();
  scope->prefixes = lintOptions::checkPrefixes();
  scope->defines = lintOptions::defines();
  scope->choice.includeGlobs = lintOptions::includeGlobs();
  scope->choice.excludeGlobs = lintOptions::excludeGlobs();
  if (!applyWarningFlags(scope->selection, errors))
    return nullptr;
  return scope;
}

void viewSettings(LintScope &scope) {
  CheckOptions &settings = scope.settings;
  settings.checkPrefixes = viewsOf(scope.prefixes);
  settings.commentPrefixes = viewsOf(lintOptions::commentPrefixes());
  settings.defines = viewsOf(scope.defines);
  settings.strictWhitespace = lintOptions::strictWhitespace();
  settings.matchFullLines = lintOptions::matchFullLines();
  settings.enableVarScope = lintOptions::enableVarScope();
  settings.allowUnusedPrefixes = lintOptions::allowUnusedPrefixes() || scope.suitePrefixes;
}

/// The strings of `key` in `table`, or none.
std::vector<std::string> listOf(const SuiteTable &table, std::string_view key) {
  const auto *values = table.get<std::vector<std::string>>(key);
  return values ? *values : std::vector<std::string>();
}

/// The scope of the suite whose file is at `suitePath`: its [lint] table
/// under the command line. Null after reporting a bad suite file.
std::unique_ptr<LintScope> suiteScope(const std::string &suitePath, OutputStream &errors) {
  auto file = SuiteFile::load(suitePath);
  if (!file) {
    printAllErrors(file.takeError(), errors);
    return nullptr;
  }
  auto table = (*file)->readTable(suiteTableName, suiteKeys);
  if (!table) {
    printAllErrors(table.takeError(), errors);
    return nullptr;
  }
  auto scope = std::make_unique<LintScope>();
  scope->prefixes = lintOptions::checkPrefixes();
  if (scope->prefixes.empty()) {
    scope->prefixes = listOf(*table, "check-prefixes");
    scope->suitePrefixes = !scope->prefixes.empty();
  }
  scope->defines = listOf(*table, "defines");
  for (const std::string &definition : lintOptions::defines())
    scope->defines.push_back(definition);
  scope->choice.includeGlobs = lintOptions::includeGlobs();
  if (scope->choice.includeGlobs.empty())
    scope->choice.includeGlobs = listOf(*table, "include");
  scope->choice.excludeGlobs = listOf(*table, "exclude");
  for (const std::string &glob : lintOptions::excludeGlobs())
    scope->choice.excludeGlobs.push_back(glob);
  for (const std::string &check : listOf(*table, "disable")) {
    if (std::string problem = scope->selection.apply("no-" + check); !problem.empty()) {
      const SuiteSetting *setting = table->find("disable");
      errors << suitePath << ':' << setting->line << ':' << setting->column
             << ": error: " << problem << '\n';
      return nullptr;
    }
  }
  if (!applyWarningFlags(scope->selection, errors))
    return nullptr;
  return scope;
}

/// The paths that `path` stands for: itself when it exists or holds no
/// glob characters, otherwise the paths that match it as a glob.
std::vector<std::string> expandPath(const std::string &path) {
  std::error_code ignored;
  if (path == "-" || std::filesystem::exists(path, ignored) ||
      path.find_first_of("*?[") == std::string::npos)
    return {path};
  std::vector<std::string> paths;
  glob_t matches;
  if (glob(path.c_str(), 0, nullptr, &matches) == 0)
    paths.assign(matches.gl_pathv, matches.gl_pathv + matches.gl_pathc);
  globfree(&matches);
  return paths;
}

/// `text` with the fixes of `findings` applied, from the first; a fix that
/// overlaps an earlier one is left out. `applied` tells which were.
std::string applyFixes(TextRef text, const std::vector<const Finding *> &findings,
                       std::vector<bool> &applied) {
  std::string fixed;
  const char *copied = text.data();
  applied.assign(findings.size(), false);
  std::vector<size_t> order(findings.size());
  for (size_t i = 0; i < order.size(); ++i)
    order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return findings[a]->fix->range.start < findings[b]->fix->range.start;
  });
  for (size_t i : order) {
    const FixIt &fix = *findings[i]->fix;
    if (fix.range.start < copied)
      continue;
    fixed.append(copied, fix.range.start);
    fixed += fix.replacement;
    copied = fix.range.end;
    applied[i] = true;
  }
  fixed.append(copied, text.data() + text.size());
  return fixed;
}

/// The state of a run over many files.
class LintRun {
public:
  LintRun(OutputStream &errors, OutputStream &output, FindingFormat format)
      : errs(errors), out(output), format(format), writer(format, output, errors) {}

  /// Lints the target under `scope`.
  void lint(const LintTarget &target, const LintScope &scope);
  int finish();
  void markUnreadable() { unreadable = true; }

private:
  OutputStream &errs;
  OutputStream &out;
  FindingFormat format;
  FindingWriter writer;
  FindingCounts counts;
  size_t filesRead = 0;
  size_t fixesApplied = 0;
  size_t filesFixed = 0;
  bool unreadable = false;
  std::string store;
};

void LintRun::lint(const LintTarget &target, const LintScope &scope) {
  // Read, not mapped: a file that shrinks while it is read is reported, not
  // a fault.
  OwnedFileBufferOrError file = readFileOrInput(target.path);
  if (!file) {
    errs << programName << ": cannot read '" << target.path << "': " << file.error.message()
         << '\n';
    unreadable = true;
    return;
  }
  TextRef text = file.buffer->text();
  if (target.inFolder && looksBinary(text))
    return;
  SourceRegistry registry;
  FileFindings result =
      lintCheckFile(scope.settings, text, file.buffer->bufferName(), registry, store);
  if (!result.isCheckFile && !target.chosen)
    return;
  ++filesRead;

  std::vector<const Finding *> reported;
  for (const Finding &finding : result.findings)
    if (scope.selection.enabled(finding.check))
      reported.push_back(&finding);

  if (lintOptions::fix() || lintOptions::diff()) {
    std::vector<const Finding *> fixable;
    std::copy_if(reported.begin(), reported.end(), std::back_inserter(fixable),
                 [](const Finding *finding) { return finding->fix.has_value(); });
    std::vector<bool> applied;
    std::string fixed = applyFixes(text, fixable, applied);
    if (lintOptions::diff()) {
      out << unifiedDiff(text, fixed, file.buffer->bufferName());
    } else if (!fixable.empty()) {
      std::string failedStep;
      if (target.path == "-") {
        errs << programName << ": cannot fix standard input\n";
        unreadable = true;
      } else if (std::error_code failure =
                     replaceFileAtomically(target.path, fixed, failedStep)) {
        errs << programName << ": cannot write '" << target.path << "': " << failedStep << ": "
             << failure.message() << '\n';
        unreadable = true;
      } else {
        size_t count = static_cast<size_t>(std::count(applied.begin(), applied.end(), true));
        fixesApplied += count;
        ++filesFixed;
        // What was fixed is no longer in the file.
        std::erase_if(reported, [&](const Finding *finding) {
          auto at = std::find(fixable.begin(), fixable.end(), finding);
          return at != fixable.end() && applied[static_cast<size_t>(at - fixable.begin())];
        });
      }
    }
  }

  for (const Finding *finding : reported) {
    counts.add(finding->check);
    if (!lintOptions::quiet())
      writer.write(file.buffer->bufferName(), text, *finding,
                   scope.selection.severity(finding->check));
  }
}

int LintRun::finish() {
  writer.finish();
  errs.flush();
  // Machine-read formats keep standard output to themselves.
  OutputStream &summary = format == FindingFormat::Text ? out : errs;
  if (filesFixed > 0)
    summary << programName << ": " << fixesApplied << (fixesApplied == 1 ? " fix" : " fixes")
            << " applied to " << filesFixed << (filesFixed == 1 ? " file\n" : " files\n");
  summary << counts.summary(filesRead);
  if (unreadable)
    return statusUsageError;
  return counts.any() && !lintOptions::exitZero() ? statusFindings : statusClean;
}

using ScopedTarget = std::pair<LintTarget, const LintScope *>;

/// The files that the paths of the command line choose, each with the scope
/// it is linted under; the suite files' scopes go into `suites`, by path.
/// Paths and selections that cannot be used are reported and mark `run`.
std::vector<ScopedTarget> chooseTargets(const LintScope &commandLine,
                                        std::map<std::string, std::unique_ptr<LintScope>> &suites,
                                        LintRun &run, OutputStream &errs) {
  std::vector<ScopedTarget> targets;
  std::vector<bool> includeUsed(lintOptions::includeGlobs().size());
  bool walkedFolder = false;
  for (const std::string &argument : lintOptions::paths()) {
    std::vector<std::string> paths = expandPath(argument);
    if (paths.empty()) {
      errs << programName << ": no file matches '" << argument << "'\n";
      run.markUnreadable();
    }
    for (const std::string &path : paths) {
      const LintScope *scope = &commandLine;
      if (std::string root = path == "-" ? "" : SuiteFile::findRoot(path); !root.empty()) {
        std::string suitePath = root + "/" + SuiteFile::fileName;
        auto [entry, added] = suites.try_emplace(suitePath);
        if (added) {
          entry->second = suiteScope(suitePath, errs);
          if (entry->second)
            viewSettings(*entry->second);
        }
        scope = entry->second.get();
        if (!scope) {
          run.markUnreadable();
          continue;
        }
      }
      std::vector<LintTarget> found;
      std::vector<bool> used;
      std::vector<std::string> folderErrors;
      size_t count = collectTargets(path, scope->choice, found, used, folderErrors);
      for (const std::string &message : folderErrors) {
        errs << programName << ": " << message << '\n';
        run.markUnreadable();
      }
      if (!found.empty() && found.front().inFolder) {
        walkedFolder = true;
        // A scope's include globs are the command line's whenever it gives any.
        for (size_t i = 0; i < includeUsed.size() && i < used.size(); ++i)
          includeUsed[i] = includeUsed[i] || used[i];
      }
      std::error_code ignored;
      if (count == 0 && std::filesystem::is_directory(path, ignored)) {
        walkedFolder = true;
        errs << programName << ": no file to lint in '" << path << "'\n";
        run.markUnreadable();
      }
      for (LintTarget &target : found)
        targets.emplace_back(std::move(target), scope);
    }
  }
  if (walkedFolder) {
    for (size_t i = 0; i < includeUsed.size(); ++i) {
      if (!includeUsed[i]) {
        errs << programName << ": --include='" << lintOptions::includeGlobs()[i]
             << "' matches no file\n";
        run.markUnreadable();
      }
    }
  }
  return targets;
}

} // namespace

int runLint(int argc, char **argv) {
  OutputStream &errs = standardError();
  parseCommandLine(argc, argv,
                   "ostrel-lint: finds the directives of check files that check less "
                   "than they seem to\n",
                   nullptr, statusUsageError);
  std::optional<FindingFormat> format = findingFormatNamed(lintOptions::format());
  if (!format) {
    errs << programName << ": for the --format option: '" << lintOptions::format()
         << "' is not one of text, json, sarif, github\n";
    return statusUsageError;
  }
  if (!checkDefinitionShapes(lintOptions::defines(), errs, std::string(programName) + ": "))
    return statusUsageError;
  std::unique_ptr<LintScope> commandLine = commandLineScope(errs);
  if (!commandLine)
    return statusUsageError;
  viewSettings(*commandLine);
  if (!acceptedByOstrel(commandLine->settings, errs))
    return statusUsageError;

  LintRun run(errs, standardOutput(), *format);
  // Scopes by the path of their suite file; the command line's has none.
  std::map<std::string, std::unique_ptr<LintScope>> suites;
  std::vector<ScopedTarget> targets = chooseTargets(*commandLine, suites, run, errs);
  for (const auto &[target, scope] : targets)
    run.lint(target, *scope);
  return run.finish();
}

} // namespace ostrel
