#include "lint/LintOptions.h"

#include "support/cmdline/AliasOption.h"
#include "support/cmdline/ListOption.h"
#include "support/cmdline/SingleValueOption.h"

#include <memory>

namespace {

using FlagOption = SingleValueOption<bool>;
using TextList = ListOption<std::string>;

TextList pathsOption(OptHelp{"<file or folder>"}, PositionalForm, OccurAtLeastOnce);

TextList includeOption(
    OptName{"include"}, OptValueName{"glob"}, OccurAny,
    OptHelp{"In folders, lint the files whose name matches <glob> (repeatable).\n"
            "Without it, every file that holds a directive or something\n"
            "that looks like one"});

TextList checkPrefixOption(
    OptName{"check-prefix"}, OccurAny,
    OptHelp{"Prefix to use from check file (defaults to 'CHECK' and the\n"
            "prefixes that the file's RUN: lines give to ostrel)"});

AliasOption checkPrefixesOption(
    OptName{"check-prefixes"}, OptAliasOf{checkPrefixOption}, SplitOnCommas, Shown,
    OptHelp{"Alias for -check-prefix permitting multiple comma separated values"});

TextList commentPrefixesOption(
    OptName{"comment-prefixes"}, OccurAny, SplitOnCommas,
    OptHelp{"Comma-separated list of comment prefixes to use from check file\n"
            "(defaults to 'COM,RUN')"});

TextList defineOption(OptName{"D"}, OptValueName{"VAR=VALUE"}, OccurAny, PrefixOnlyForm,
                      OptHelp{"A variable that ostrel would be given, so using it is not "
                              "an undefined use"});

FlagOption strictWhitespaceOption(
    OptName{"strict-whitespace"},
    OptHelp{"Read the files as ostrel -strict-whitespace would"});

FlagOption matchFullLinesOption(
    OptName{"match-full-lines"},
    OptHelp{"Read the files as ostrel -match-full-lines would"});

FlagOption enableVarScopeOption(
    OptName{"enable-var-scope"},
    OptHelp{"Variables whose names do not start with '$' end at each\n"
            "CHECK-LABEL, as with ostrel -enable-var-scope"});

FlagOption warningsAreErrorsOption(
    OptName{"Werror"}, OptHelp{"Report findings as errors instead of warnings"});

FlagOption quietOption(OptName{"quiet"},
                       OptHelp{"Print only the summary line, not each finding"});

/// One -Wno-<name> option per check, named and described from the check table.
class DisableOptions {
public:
  DisableOptions() {
    auto checks = lintChecks();
    // Reserved up front: the options keep views of these strings.
    names.reserve(checks.size());
    helps.reserve(checks.size());
    for (const LintCheckInfo &info : checks) {
      names.push_back("Wno-" + std::string(info.name));
      helps.push_back("Do not report " + std::string(info.help));
      options.push_back(
          std::make_unique<FlagOption>(OptName{names.back()}, OptHelp{helps.back()}));
    }
  }
  bool disabled(LintCheck check) const {
    return options[static_cast<size_t>(check)]->get();
  }

private:
  std::vector<std::string> names;
  std::vector<std::string> helps;
  std::vector<std::unique_ptr<FlagOption>> options;
};

DisableOptions disableOptions;

} // namespace

namespace lintOptions {

const std::vector<std::string> &paths() { return pathsOption.values(); }
const std::vector<std::string> &includeGlobs() { return includeOption.values(); }
const std::vector<std::string> &checkPrefixes() { return checkPrefixOption.values(); }
const std::vector<std::string> &commentPrefixes() { return commentPrefixesOption.values(); }
const std::vector<std::string> &defines() { return defineOption.values(); }
bool strictWhitespace() { return strictWhitespaceOption.get(); }
bool matchFullLines() { return matchFullLinesOption.get(); }
bool enableVarScope() { return enableVarScopeOption.get(); }
bool warningsAreErrors() { return warningsAreErrorsOption.get(); }
bool quiet() { return quietOption.get(); }
bool checkEnabled(LintCheck check) { return !disableOptions.disabled(check); }

} // namespace lintOptions
