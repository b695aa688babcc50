#include "run/RunSuite.h"

#include "run/ResultFiles.h"
#include "run/RunOptions.h"
#include "run/RunReporter.h"
#include "run/RunState.h"
#include "run/SuiteUpdater.h"
#include "run/TestExecutor.h"
#include "run/TestSelection.h"
#include "support/cmdline/CommandLineParser.h"
#include "support/diag/OutputStream.h"
#include "support/diag/SeverityLabel.h"
#include "support/process/ProcessSupport.h"
#include "support/suite/SuiteFile.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace ostrel {

namespace fs = std::filesystem;

namespace {

constexpr int statusPassed = 0;
constexpr int statusFailed = 1;
constexpr int statusUsageError = 2;
constexpr int statusInterrupted = 130;

constexpr TextRef programName = "ostrel-run";

OutputStream &complain(OutputStream &errs) {
  errs << programName << ": ";
  return errorLabel(errs);
}

/// The command line's additions to every suite; false after reporting a bad
/// value.
bool readOverrides(SuiteOverrides &overrides, OutputStream &errs) {
  bool good = true;
  if (std::optional<std::string> text = runOptions::timeoutText()) {
    char *end = nullptr;
    overrides.timeout = std::strtod(text->c_str(), &end);
    overrides.hasTimeout = true;
    if (text->empty() || *end != '\0' || !(overrides.timeout >= 0)) {
      complain(errs) << "for the --timeout option: '" << *text
                     << "' is not a number of seconds\n";
      good = false;
    }
  }
  overrides.features = runOptions::features();
  for (const std::string &param : runOptions::params()) {
    size_t equals = param.find('=');
    if (equals == std::string::npos || equals == 0) {
      complain(errs) << "for the --param option: '" << param << "' is not NAME=VALUE\n";
      good = false;
      continue;
    }
    overrides.substitutions.emplace_back(param.substr(0, equals), param.substr(equals + 1));
  }
  return good;
}

/// The folder of the running program, where the toolkit's other programs are.
std::string programFolder(const char *argv0) {
  std::error_code error;
  fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error)
    self = fs::absolute(argv0, error);
  return self.parent_path().string();
}

std::string makeScratchRoot() {
  const char *temporary = std::getenv("TMPDIR");
  std::string pattern = std::string(temporary && *temporary ? temporary : "/tmp") +
                        "/ostrel-run-XXXXXX";
  if (!::mkdtemp(pattern.data()))
    return {};
  return pattern;
}

/// What the command line asks for, beyond the suites' settings.
struct RunRequest {
  SuiteOverrides overrides;
  SelectionSettings selection;
  std::optional<CompiledRegex> filter;
  bool update = false;
};

/// Reads and checks the options; false after reporting every bad one.
bool readRequest(RunRequest &request, OutputStream &errs) {
  bool good = readOverrides(request.overrides, errs);
  if (!runOptions::shard().empty() &&
      !(request.selection.shard = parseShard(runOptions::shard()))) {
    complain(errs) << "for the --shard option: '" << runOptions::shard()
                   << "' is not K/N with 1 <= K <= N\n";
    good = false;
  }
  if (runOptions::order() == "slowest-first") {
    request.selection.order = StartOrder::SlowestFirst;
  } else if (runOptions::order() != "path") {
    complain(errs) << "for the --order option: '" << runOptions::order()
                   << "' is neither 'path' nor 'slowest-first'\n";
    good = false;
  }
  if (!runOptions::filter().empty()) {
    request.filter.emplace(runOptions::filter());
    std::string problem;
    if (!request.filter->checkValid(problem)) {
      complain(errs) << "for the --filter option: '" << runOptions::filter()
                     << "' is not a valid expression: " << problem << '\n';
      good = false;
    }
    request.selection.filter = &*request.filter;
  }
  request.selection.lastFailed = runOptions::lastFailed();
  // OSTREL_UPDATE=1 asks for --update, but never on a CI machine, where a
  // refresh would make the failures it should report pass.
  request.update = runOptions::update();
  const char *updateVariable = std::getenv("OSTREL_UPDATE");
  if (updateVariable && std::string_view(updateVariable) == "1") {
    const char *ci = std::getenv("CI");
    if (ci && *ci) {
      complain(errs) << "OSTREL_UPDATE=1 is refused when CI is set: a CI run reports "
                        "failures, it does not refresh them\n";
      good = false;
    }
    request.update = true;
  }
  if (runOptions::interactive() && !request.update) {
    complain(errs) << "--interactive goes with --update\n";
    good = false;
  }
  if (runOptions::interactive() && !(::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO))) {
    complain(errs) << "--interactive asks its questions on a terminal, and there is none\n";
    good = false;
  }
  return good;
}

/// Writes the results files asked for; answers the problems.
ErrorValue writeResultsFiles(const TestPlan &plan, const TestOutcomes &outcomes,
                             double seconds) {
  ErrorValue errors;
  if (!runOptions::junitFile().empty())
    errors = combineErrors(std::move(errors),
                           writeJUnitFile(runOptions::junitFile(), plan, outcomes, seconds));
  if (!runOptions::jsonFile().empty())
    errors = combineErrors(std::move(errors),
                           writeJsonFile(runOptions::jsonFile(), plan, outcomes, seconds));
  return errors;
}

/// Records the finished tests in the state of their suites.
void saveStates(const TestPlan &plan, const std::vector<size_t> &selected,
                const TestOutcomes &outcomes, std::vector<RunState> &states,
                OutputStream &errs) {
  std::vector<bool> touched(plan.suites.size());
  for (size_t test : selected) {
    if (!outcomes[test])
      continue;
    size_t suite = plan.tests[test].suite;
    states[suite].record(pathInSuite(plan, test),
                         RecordedResult{outcomes[test]->result, outcomes[test]->seconds});
    touched[suite] = true;
  }
  for (size_t suite = 0; suite < plan.suites.size(); ++suite) {
    if (!touched[suite])
      continue;
    // A suite in a folder that cannot be written still runs; it only forgets.
    if (ErrorValue failed = states[suite].save()) {
      errs << programName << ": ";
      warningLabel(errs) << errorMessage(std::move(failed)) << '\n';
    }
  }
}

} // namespace

int runSuite(int argc, char **argv) {
  OutputStream &errs = standardError();
  OutputStream &out = standardOutput();
  parseCommandLine(argc, argv,
                   "ostrel-run: runs a suite of check tests: the RUN lines of each test file\n",
                   nullptr, statusUsageError);
  RunRequest request;
  if (!readRequest(request, errs))
    return statusUsageError;

  auto found = discoverTests(runOptions::paths(), request.overrides);
  if (!found) {
    ErrorValue error = found.takeError();
    // Suite files speak for themselves; other problems get the program's name.
    forEachPayload(error, [&](const ErrorPayload &payload) {
      if (!payload.isA<SuiteFileError>())
        complain(errs);
      payload.print(errs);
      errs << '\n';
    });
    dropError(std::move(error));
    return statusUsageError;
  }
  TestPlan &plan = *found;
  for (const std::string &warning : plan.warnings) {
    errs << programName << ": ";
    warningLabel(errs) << warning << '\n';
  }

  std::vector<RunState> states;
  for (const TestSuite &suite : plan.suites)
    states.push_back(RunState::load(suite.root));
  std::vector<size_t> selected = selectTests(plan, states, request.selection);

  if (runOptions::list()) {
    for (size_t test : selected)
      out << plan.tests[test].path << '\n';
    return statusPassed;
  }

  ExecutionSettings settings;
  settings.jobs = runOptions::jobs();
  if (settings.jobs == 0)
    settings.jobs = std::max(1u, std::thread::hardware_concurrency());
  settings.maxFailures = runOptions::maxFailures();
  settings.keepEveryOutput = !runOptions::jsonFile().empty();
  settings.programFolder = programFolder(argv[0]);
  settings.scratchRoot = makeScratchRoot();
  if (settings.scratchRoot.empty()) {
    complain(errs) << "cannot make a scratch folder: " << std::strerror(errno) << '\n';
    return statusFailed;
  }

  Verbosity verbosity = runOptions::quiet()     ? Verbosity::Quiet
                        : runOptions::verbose() ? Verbosity::Verbose
                                                : Verbosity::Normal;
  RunReporter reporter(plan, out, out.isTerminal(), verbosity, selected.size());
  TestExecutor executor(plan, settings, reporter);
  TestOutcomes outcomes(plan.tests.size());
  auto started = std::chrono::steady_clock::now();
  executor.run(selected, outcomes);
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  reporter.endProgress();
  if (executor.interruptSignal() == SIGPIPE)
    ProcessSupport::exitOnBrokenPipe();

  std::optional<UpdateCounts> updates;
  if (request.update && !executor.interruptSignal()) {
    SuiteUpdater updater(plan, executor, settings, out,
                         runOptions::interactive() ? stdin : nullptr);
    updates = updater.updateAll(selected, outcomes);
  }

  RunCounts counts;
  size_t unfinished = 0;
  for (size_t test : selected) {
    if (!outcomes[test]) {
      ++unfinished;
      continue;
    }
    counts.add(outcomes[test]->result);
    if (verbosity != Verbosity::Quiet && isFailure(outcomes[test]->result))
      reporter.printFailure(test, *outcomes[test]);
  }

  ErrorValue writeErrors = writeResultsFiles(plan, outcomes, seconds);
  saveStates(plan, selected, outcomes, states, errs);
  std::error_code ignored;
  fs::remove(settings.scratchRoot, ignored);

  out.flush();
  bool writeFailed = false;
  forEachPayload(writeErrors, [&](const ErrorPayload &payload) {
    complain(errs) << payload.message() << '\n';
    writeFailed = true;
  });
  dropError(std::move(writeErrors));
  if (executor.interruptSignal())
    errs << programName << ": interrupted; " << selected.size() - unfinished << " of "
         << selected.size() << (selected.size() == 1 ? " test" : " tests") << " finished\n";
  else if (executor.stoppedAtMaxFailures())
    errs << programName << ": stopped after " << runOptions::maxFailures()
         << (runOptions::maxFailures() == 1 ? " failure; " : " failures; ") << unfinished
         << (unfinished == 1 ? " test" : " tests") << " not run\n";
  errs.flush();
  if (updates)
    out << updateSummary(*updates) << '\n';
  out << summaryLine(counts) << '\n';
  out.flush();

  if (executor.interruptSignal())
    return statusInterrupted;
  return counts.failed || writeFailed ? statusFailed : statusPassed;
}

} // namespace ostrel
