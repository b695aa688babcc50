#include "run/SuiteUpdater.h"

#include "run/ChildProcess.h"
#include "run/UpdateCommand.h"
#include "run/WholeFile.h"
#include "support/diag/ColourScope.h"
#include "support/diag/OutputStream.h"

#include <filesystem>

namespace ostrel {

namespace fs = std::filesystem;

std::string updateSummary(const UpdateCounts &counts) {
  return "update: " + std::to_string(counts.updated) + " updated, " +
         std::to_string(counts.refused) + " refused, " + std::to_string(counts.unchanged) +
         " unchanged";
}

SuiteUpdater::SuiteUpdater(const TestPlan &plan, TestExecutor &executor,
                           const ExecutionSettings &settings, OutputStream &os,
                           std::FILE *answers)
    : plan_(plan), executor_(executor), settings_(settings), os_(os), answers_(answers),
      askEach_(answers != nullptr) {}

UpdateCounts SuiteUpdater::updateAll(const std::vector<size_t> &order, TestOutcomes &outcomes) {
  UpdateCounts counts;
  for (size_t test : order) {
    if (!outcomes[test] || outcomes[test]->result != TestResult::Fail)
      continue;
    Step step = update(test, *outcomes[test]);
    if (step == Step::Quit)
      break;
    if (step == Step::Updated)
      ++counts.updated;
    else if (step == Step::Refused)
      ++counts.refused;
    else
      ++counts.unchanged;
  }
  return counts;
}

void SuiteUpdater::say(const char *word, size_t test, const std::string &detail) {
  {
    ColourScope colour(os_, ColourStyle{std::string_view(word) == "UPDATED" ? TextColour::Green
                                                                            : TextColour::Yellow,
                                        true, false});
    os_ << word;
  }
  os_ << ": " << plan_.tests[test].path;
  if (!detail.empty())
    os_ << ": " << detail;
  os_ << '\n';
}

SuiteUpdater::Answer SuiteUpdater::ask(const std::string &path) {
  while (true) {
    os_ << "update " << path << "? [y]es, [n]o, [a]ll, [q]uit: ";
    os_.flush();
    char line[64];
    if (!std::fgets(line, sizeof line, answers_))
      return Answer::Quit;
    switch (line[0]) {
    case 'y': case 'Y': return Answer::Yes;
    case 'n': case 'N': return Answer::No;
    case 'a': case 'A': return Answer::All;
    case 'q': case 'Q': return Answer::Quit;
    default: break;
    }
  }
}

SuiteUpdater::Step SuiteUpdater::update(size_t test, TestOutcome &outcome) {
  UpdateCommand command = readUpdateCommand(outcome.command);
  if (!command.refusal.empty()) {
    say("REFUSED", test, command.refusal);
    return Step::Refused;
  }
  std::error_code ignored;
  fs::path folder = fs::absolute(plan_.tests[test].path, ignored).lexically_normal().parent_path();
  std::string work = settings_.scratchRoot + "/update-" + std::to_string(test);
  fs::create_directories(work, ignored);
  std::string captured = work + "/output";
  std::vector<std::string> environment =
      testEnvironment(plan_.suites[plan_.tests[test].suite].environment, settings_.programFolder);
  environment.push_back("OSTREL_RUN_CAPTURE=" + captured);
  std::vector<char *> block = environmentBlock(environment);
  auto cleanUp = [&] { fs::remove_all(work, ignored); };

  if (!command.producerScript.empty()) {
    ProcessEnd produced = runToEnd({bashPath(), "-e", "-o", "pipefail", "-c",
                                    command.producerScript},
                                   folder.string(), block.data(), work + "/producer.log");
    if (!produced.succeeded()) {
      say("REFUSED", test, "the commands before ostrel failed\n" + produced.output + produced.errors);
      cleanUp();
      return Step::Refused;
    }
  }
  std::string input = command.inputFile.empty()
                          ? captured
                          : (folder / command.inputFile).lexically_normal().string();
  std::vector<std::string> updater = {settings_.programFolder + "/ostrel-update", "--diff",
                                      "--input-file=" + input};
  updater.insert(updater.end(), command.checkerOptions.begin(), command.checkerOptions.end());
  updater.push_back(command.checkFile);
  ProcessEnd diff = runToEnd(updater, folder.string(), block.data(), work + "/diff");
  if (!diff.succeeded()) {
    say("REFUSED", test, "ostrel-update failed\n" + diff.errors);
    cleanUp();
    return Step::Refused;
  }
  if (diff.output.empty()) {
    say("UNCHANGED", test, "the check file already matches the output");
    cleanUp();
    return Step::Unchanged;
  }
  bool shown = askEach_;
  if (askEach_) {
    os_ << diff.output;
    Answer answer = ask(plan_.tests[test].path);
    if (answer == Answer::Quit || answer == Answer::No) {
      cleanUp();
      return answer == Answer::Quit ? Step::Quit : Step::Unchanged;
    }
    askEach_ = answer != Answer::All;
  }

  std::string checkPath = (folder / command.checkFile).lexically_normal().string();
  std::string original;
  if (std::error_code error = readRegularFile(checkPath, original)) {
    say("REFUSED", test, "cannot read '" + checkPath + "': " + error.message());
    cleanUp();
    return Step::Refused;
  }
  updater.erase(updater.begin() + 1);
  ProcessEnd written = runToEnd(updater, folder.string(), block.data(), work + "/write");
  cleanUp();
  if (!written.succeeded()) {
    say("REFUSED", test, "ostrel-update failed\n" + written.errors);
    return Step::Refused;
  }
  TestOutcome again = executor_.runOne(test);
  if (isFailure(again.result)) {
    // A refresh that does not make the test pass is no refresh: the file
    // goes back to what it was.
    ErrorValue restored = writeWholeFile(checkPath, original);
    say("REFUSED", test,
        "the test still fails after the refresh; the check file is left as it was" +
            (restored ? "... but restoring it failed: " + errorMessage(std::move(restored))
                      : std::string()));
    return Step::Refused;
  }
  say("UPDATED", test, {});
  if (!shown)
    os_ << diff.output;
  outcome = std::move(again);
  return Step::Updated;
}

} // namespace ostrel
