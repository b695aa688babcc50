#include "run/RunOptions.h"

#include "support/cmdline/ListOption.h"
#include "support/cmdline/SingleValueOption.h"

namespace ostrel {

namespace {

using TextOption = SingleValueOption<std::string>;
using FlagOption = SingleValueOption<bool>;
using CountOption = SingleValueOption<uint32_t>;
using TextList = ListOption<std::string>;

TextList pathsOption(OptHelp{"<test file or folder>"}, PositionalForm, OccurAtLeastOnce);

CountOption jobsOption(OptName{"j"}, OptValueName{"N"},
                       OptHelp{"Run N tests at once (default: the number of cores)"});

TextOption timeoutOption(
    OptName{"timeout"}, OptValueName{"seconds"},
    OptHelp{"End a test that runs longer than this, with all it started\n"
            "(0: no limit; overrides the suite file's timeout)"});

TextList featureOption(OptName{"feature"}, OptValueName{"name"}, OccurAny,
                       OptHelp{"Turn a feature on for REQUIRES, UNSUPPORTED and XFAIL\n"
                               "(repeatable; adds to the suite file's features)"});

TextList paramOption(OptName{"param"}, OptValueName{"NAME=VALUE"}, OccurAny,
                     OptHelp{"A substitution for RUN lines (repeatable; overrides the\n"
                             "suite file's substitution of the same name)"});

TextOption filterOption(OptName{"filter"}, OptValueName{"ERE"},
                        OptHelp{"Run only the tests whose path this expression matches"});

TextOption shardOption(
    OptName{"shard"}, OptValueName{"K/N"},
    OptHelp{"Run the K-th of N disjoint parts of the selected tests (1 <= K <= N)"});

FlagOption listOption(OptName{"list"}, OptHelp{"Print the selected tests and run nothing"});

FlagOption verboseOption(OptName{"v"}, OptHelp{"Show every test as it finishes"});

FlagOption quietOption(OptName{"quiet"}, OptHelp{"Print only the summary line"});

TextOption junitOption(OptName{"junit"}, OptValueName{"file"},
                       OptHelp{"Write the results as JUnit XML to this file"});

TextOption jsonOption(OptName{"json"}, OptValueName{"file"},
                      OptHelp{"Write the results as JSON to this file"});

CountOption maxFailuresOption(OptName{"max-failures"}, OptValueName{"N"},
                              OptHelp{"Start no new test after N failures"});

FlagOption lastFailedOption(
    OptName{"last-failed"},
    OptHelp{"Run only the tests that failed in the previous run of their suite"});

TextOption orderOption(
    OptName{"order"}, OptValueName{"order"}, OptInit{std::string("path")},
    OptHelp{"The order in which tests start: path (default), or slowest-first\n"
            "(the tests that took longest in the previous run start first)"});

FlagOption updateOption(
    OptName{"update"},
    OptHelp{"Refresh the check file of each failing test whose failing RUN line\n"
            "feeds a command's output to ostrel, with ostrel-update, and run it again"});

FlagOption interactiveOption(
    OptName{"interactive"},
    OptHelp{"With --update, ask before each refresh: yes, no, all or quit"});

} // namespace

namespace runOptions {

const std::vector<std::string> &paths() { return pathsOption.values(); }
uint32_t jobs() { return jobsOption.get(); }
std::optional<std::string> timeoutText() {
  if (timeoutOption.occurrences == 0)
    return std::nullopt;
  return timeoutOption.get();
}
const std::vector<std::string> &features() { return featureOption.values(); }
const std::vector<std::string> &params() { return paramOption.values(); }
const std::string &filter() { return filterOption.get(); }
const std::string &shard() { return shardOption.get(); }
bool list() { return listOption.get(); }
bool verbose() { return verboseOption.get(); }
bool quiet() { return quietOption.get(); }
const std::string &junitFile() { return junitOption.get(); }
const std::string &jsonFile() { return jsonOption.get(); }
uint32_t maxFailures() { return maxFailuresOption.get(); }
bool lastFailed() { return lastFailedOption.get(); }
const std::string &order() { return orderOption.get(); }
bool update() { return updateOption.get(); }
bool interactive() { return interactiveOption.get(); }

} // namespace runOptions

} // namespace ostrel
