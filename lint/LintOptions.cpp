#include "lint/LintOptions.h"

#include "support/cmdline/AliasOption.h"
#include "support/cmdline/ListOption.h"
#include "support/cmdline/SingleValueOption.h"

namespace ostrel {

namespace {

using FlagOption = SingleValueOption<bool>;
using TextOption = SingleValueOption<std::string>;
using TextList = ListOption<std::string>;

TextList pathsOption(OptHelp{"<file or folder>"}, PositionalForm, OccurAtLeastOnce);

TextList includeOption(
    OptName{"include"}, OptValueName{"glob"}, OccurAny,
    OptHelp{"In folders, lint the files whose name matches <glob> (repeatable).\n"
            "Without it, every file that holds a directive or something\n"
            "that looks like one"});

TextList excludeOption(
    OptName{"exclude"}, OptValueName{"glob"}, OccurAny,
    OptHelp{"In folders, skip the files and folders whose name matches <glob>\n"
            "(repeatable)"});

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

FlagOption allowUnusedPrefixesOption(
    OptName{"allow-unused-prefixes"},
    OptHelp{"A prefix that a file does not use is no error, as with ostrel\n"
            "-allow-unused-prefixes"});

TextList warningOption(
    OptName{"W"}, OptValueName{"check"}, OccurAny, PrefixOnlyForm,
    OptHelp{"Turn the check on; -Wno-<check> turns it off, -Wall turns every\n"
            "check on, -Werror reports every finding as an error and\n"
            "-Werror=<check> that check's findings; later ones win"});

FlagOption exitZeroOption(OptName{"exit-zero"},
                          OptHelp{"Exit with 0 when there are findings, to report without failing"});

FlagOption quietOption(OptName{"quiet"},
                       OptHelp{"Print only the summary line, not each finding"});

TextOption formatOption(
    OptName{"format"}, OptValueName{"text|json|sarif|github"}, OptInit{std::string("text")},
    OptHelp{"How findings are written: text on standard error, json (one object\n"
            "a line), sarif 2.1.0 or github workflow commands on standard output"});

FlagOption fixOption(OptName{"fix"},
                     OptHelp{"Apply the mechanical fixes to the files, each replaced atomically"});

FlagOption diffOption(OptName{"diff"},
                      OptHelp{"Print the mechanical fixes as a unified diff instead of "
                              "writing them"});

} // namespace

namespace lintOptions {

const std::vector<std::string> &paths() { return pathsOption.values(); }
const std::vector<std::string> &includeGlobs() { return includeOption.values(); }
const std::vector<std::string> &excludeGlobs() { return excludeOption.values(); }
const std::vector<std::string> &checkPrefixes() { return checkPrefixOption.values(); }
const std::vector<std::string> &commentPrefixes() { return commentPrefixesOption.values(); }
const std::vector<std::string> &defines() { return defineOption.values(); }
bool strictWhitespace() { return strictWhitespaceOption.get(); }
bool matchFullLines() { return matchFullLinesOption.get(); }
bool enableVarScope() { return enableVarScopeOption.get(); }
bool allowUnusedPrefixes() { return allowUnusedPrefixesOption.get(); }
const std::vector<std::string> &warningFlags() { return warningOption.values(); }
bool exitZero() { return exitZeroOption.get(); }
bool quiet() { return quietOption.get(); }
const std::string &format() { return formatOption.get(); }
bool fix() { return fixOption.get(); }
bool diff() { return diffOption.get(); }

} // namespace lintOptions

} // namespace ostrel
