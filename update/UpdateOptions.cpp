#include "update/UpdateOptions.h"

#include "support/cmdline/AliasOption.h"
#include "support/cmdline/ListOption.h"
#include "support/cmdline/SingleValueOption.h"

namespace ostrel {

namespace {

using TextOption = SingleValueOption<std::string>;
using FlagOption = SingleValueOption<bool>;
using TextList = ListOption<std::string>;

TextOption testFileOption(OptHelp{"<test-file>"}, PositionalForm, OccurOptional);

TextOption inputFileOption(OptName{"input-file"},
                           OptHelp{"The output to turn into directives (defaults to stdin)"},
                           OptValueName{"filename"}, OptInit{std::string("-")});

TextOption checkPrefixOption(OptName{"check-prefix"}, OptValueName{"prefix"},
                             OptHelp{"Prefix of the directives to write (defaults to 'CHECK')"},
                             OptInit{std::string("CHECK")});

// One prefix at a time: the alias takes a single value as --check-prefix.
AliasOption checkPrefixesOption(
    OptName{"check-prefixes"}, OptAliasOf{checkPrefixOption}, HiddenInHelp,
    OptHelp{"The checker's spelling of --check-prefix, for a single prefix"});

TextList commentPrefixesOption(
    OptName{"comment-prefixes"}, OccurAny, SplitOnCommas,
    OptHelp{"Comma-separated list of comment prefixes, as the checker is given them\n"
            "(defaults to 'COM,RUN')"});

TextList labelOption(OptName{"label"}, OptValueName{"ERE"}, OccurAny,
                     OptHelp{"Output lines in which this regular expression matches become\n"
                             "LABEL directives, each starting a new block"});

TextList scrubOption(
    OptName{"scrub"}, OptValueName{"NAME[=ERE]"}, OccurAny,
    OptHelp{"Write values that change from run to run as regular expressions:\n"
            "NAME=ERE for your own (applied first), or a built-in NAME: tmp\n"
            "(temporary folders), date, time, duration, addr (objdump addresses),\n"
            "hex (0x and long bare hex). An address, path or value of your own\n"
            "that recurs is captured once as [[NAME1:...]] and used as [[NAME1]]"});

FlagOption scrubNumbersOption(
    OptName{"scrub-numbers"},
    OptHelp{"Write decimal numbers as numeric captures ([[#N1:]]); a number equal\n"
            "or near to one of the 4 lines before becomes [[#N1]] or [[#N1+4]]"});

TextOption commentOption(
    OptName{"comment"}, OptValueName{"text"},
    OptHelp{"Comment leader for new directives when the file has none\n"
            "(default: from the file's extension)"});

FlagOption printOption(OptName{"print"},
                       OptHelp{"Print the directives on standard output; no test file"});

FlagOption diffOption(OptName{"diff"},
                      OptHelp{"Print a unified diff of the update instead of writing it"});

FlagOption checkOption(
    OptName{"check"},
    OptHelp{"Write nothing: print the diff and exit 1 when the file would change,\n"
            "0 when it is current (for CI)"});

FlagOption wholeOption(
    OptName{"whole"},
    OptHelp{"The directives also pin whole lines and the end of the output\n"
            "(nothing may follow the last line), for golden-file tests"});

FlagOption dropHandWrittenOption(
    OptName{"drop-hand-written"},
    OptHelp{"Drop the directives the tool did not write that lose the generated\n"
            "lines around them, instead of refusing the update"});

FlagOption allowEmptyOption(
    OptName{"allow-empty"},
    OptHelp{"Accept an empty output: write a single NOT directive that no text\n"
            "passes (the check then needs --allow-empty too)"});

FlagOption strictWhitespaceOption(
    OptName{"strict-whitespace"},
    OptHelp{"The check keeps horizontal whitespace as written (checker option)"});

FlagOption matchFullLinesOption(
    OptName{"match-full-lines"},
    OptHelp{"The check matches whole lines (checker option)"});

FlagOption ignoreCaseOption(OptName{"ignore-case"},
                            OptHelp{"The check ignores letter case (checker option)"});

FlagOption enableVarScopeOption(
    OptName{"enable-var-scope"},
    OptHelp{"The check forgets variables at each label (checker option)"});

TextList implicitCheckNotOption(
    OptName{"implicit-check-not"}, OptValueName{"pattern"}, OccurAny,
    OptHelp{"An implicit negative check of the check run (checker option)"});

FlagOption allowDeprecatedDagOverlapOption(
    OptName{"allow-deprecated-dag-overlap"},
    OptHelp{"DAG matches of the check may overlap (checker option)"});

// The checker's options that change only what it prints: accepted, so that
// a RUN line's options can be handed over as they are, and ignored.
FlagOption allowUnusedPrefixesOption(OptName{"allow-unused-prefixes"}, HiddenInHelp,
                                     OptHelp{"Accepted from the checker's options; no effect"});
FlagOption verboseOption(OptName{"v"}, HiddenInHelp,
                         OptHelp{"Accepted from the checker's options; no effect"});
FlagOption veryVerboseOption(OptName{"vv"}, HiddenInHelp,
                             OptHelp{"Accepted from the checker's options; no effect"});
TextList dumpInputOption(OptName{"dump-input"}, OptValueName{"mode"}, OccurAny, HiddenInHelp,
                         OptHelp{"Accepted from the checker's options; no effect"});
TextList dumpInputContextOption(OptName{"dump-input-context"}, OptValueName{"N"}, OccurAny,
                                HiddenInHelp,
                                OptHelp{"Accepted from the checker's options; no effect"});
TextList dumpInputFilterOption(OptName{"dump-input-filter"}, OptValueName{"kind"}, OccurAny,
                               HiddenInHelp,
                               OptHelp{"Accepted from the checker's options; no effect"});

TextList defineOption(OptName{"D"}, OptValueName{"VAR=VALUE"}, OccurAny, PrefixOnlyForm,
                      OptHelp{"A variable definition of the check run (checker option)"});

} // namespace

namespace updateOptions {

const std::string &testFile() { return testFileOption.get(); }
const std::string &inputFile() { return inputFileOption.get(); }
const std::string &checkPrefix() { return checkPrefixOption.get(); }
const std::vector<std::string> &commentPrefixes() { return commentPrefixesOption.values(); }
const std::vector<std::string> &labels() { return labelOption.values(); }
const std::vector<std::string> &scrubs() { return scrubOption.values(); }
bool scrubNumbers() { return scrubNumbersOption.get(); }
const std::string &comment() { return commentOption.get(); }
bool commentGiven() { return commentOption.occurrences > 0; }
bool print() { return printOption.get(); }
bool diff() { return diffOption.get(); }
bool check() { return checkOption.get(); }
bool allowEmpty() { return allowEmptyOption.get(); }
bool whole() { return wholeOption.get(); }
bool dropHandWritten() { return dropHandWrittenOption.get(); }
bool strictWhitespace() { return strictWhitespaceOption.get(); }
bool matchFullLines() { return matchFullLinesOption.get(); }
bool ignoreCase() { return ignoreCaseOption.get(); }
bool enableVarScope() { return enableVarScopeOption.get(); }
bool allowDeprecatedDagOverlap() { return allowDeprecatedDagOverlapOption.get(); }
const std::vector<std::string> &implicitCheckNot() { return implicitCheckNotOption.values(); }
const std::vector<std::string> &defines() { return defineOption.values(); }

} // namespace updateOptions

} // namespace ostrel
