#include "tool/ToolOptions.h"

#include "support/cmdline/AliasOption.h"
#include "support/cmdline/ListOption.h"
#include "support/cmdline/OptionRegistry.h"
#include "support/cmdline/SingleValueOption.h"

namespace ostrel {

// Registered in this order during static initialisation; the order decides
// nothing visible except through the name map's collisions, so keep it.
namespace {

using TextOption = SingleValueOption<std::string>;
using FlagOption = SingleValueOption<bool>;
using TextList = ListOption<std::string>;
using EnumList = ListOption<int32_t, EnumParser>;

TextOption checkFileOption(OptHelp{"<check-file>"}, PositionalForm,
                           OccurOptional);

TextOption inputFileOption(OptName{"input-file"},
                           OptHelp{"File to check (defaults to stdin)"},
                           OptValueName{"filename"},
                           OptInit{std::string("-")});

TextList checkPrefixOption(
    OptName{"check-prefix"},
    OptHelp{"Prefix to use from check file (defaults to 'CHECK')"}, OccurAny);

AliasOption checkPrefixesOption(
    OptName{"check-prefixes"}, OptAliasOf{checkPrefixOption}, SplitOnCommas,
    Shown,
    OptHelp{"Alias for -check-prefix permitting multiple comma separated "
            "values"});

TextList commentPrefixesOption(
    OptName{"comment-prefixes"}, OccurAny, SplitOnCommas, HiddenInHelp,
    OptHelp{"Comma-separated list of comment prefixes to use from check file\n"
            "(defaults to 'COM,RUN'). Please avoid using this feature in\n"
            "Varnix's Tamble-based test suites, which should be easier to\n"
            "maintain if they all follow a consistent comment style. This\n"
            "feature is meant for non-Tamble test suites using Ostrel."});

FlagOption strictWhitespaceOption(
    OptName{"strict-whitespace"},
    OptHelp{"Do not treat all horizontal whitespace as equivalent"});

FlagOption ignoreCaseOption(OptName{"ignore-case"},
                            OptHelp{"Use case-insensitive matching"});

TextList implicitCheckNotOption(
    OptName{"implicit-check-not"}, OptValueName{"pattern"}, OccurAny,
    OptHelp{"Add an implicit negative check with this pattern to every\n"
            "positive check. This can be used to ensure that no instances of\n"
            "this pattern occur which are not matched by a positive pattern"});

TextList defineOption(OptName{"D"}, OptValueName{"VAR=VALUE"}, OccurAny,
                      PrefixOnlyForm,
                      OptHelp{"Define a variable to be used in capture "
                              "patterns."});

FlagOption allowEmptyOption(
    OptName{"allow-empty"}, OptInit{false},
    OptHelp{"Allow the input file to be empty. This is useful when making\n"
            "checks that some error message does not occur, for example."});

FlagOption allowUnusedPrefixesOption(
    OptName{"allow-unused-prefixes"},
    OptHelp{"Allow prefixes to be specified but not appear in the test."});

FlagOption matchFullLinesOption(
    OptName{"match-full-lines"}, OptInit{false},
    OptHelp{"Require all positive matches to cover an entire input line.\n"
            "Allows leading and trailing whitespace if --strict-whitespace\n"
            "is not also passed."});

FlagOption enableVarScopeOption(
    OptName{"enable-var-scope"}, OptInit{false},
    OptHelp{"Enables scope for regex variables. Variables with names that\n"
            "do not start with '$' will be reset at the beginning of\n"
            "each CHECK-LABEL block."});

FlagOption allowDeprecatedDagOverlapOption(
    OptName{"allow-deprecated-dag-overlap"}, OptInit{false},
    OptHelp{"Enable overlapping among matches in a group of consecutive\n"
            "CHECK-DAG directives.  This option is deprecated and is only\n"
            "provided for convenience as old tests are migrated to the new\n"
            "non-overlapping CHECK-DAG implementation.\n"});

FlagOption verboseOption(
    OptName{"v"},
    OptHelp{"Print directive pattern matches, or add them to the input dump\n"
            "if enabled.\n"});

FlagOption veryVerboseOption(
    OptName{"vv"},
    OptHelp{"Print information helpful in diagnosing internal Ostrel\n"
            "issues, or add it to the input dump if enabled.  Implies\n"
            "-v.\n"});

EnumList dumpInputOption(
    OptName{"dump-input"}, OptValueName{"mode"}, OccurAny,
    OptHelp{"Dump input to stderr, adding annotations representing\n"
            "currently enabled diagnostics.  When there are multiple\n"
            "occurrences of this option, the <value> that appears earliest\n"
            "in the list below has precedence.  The default is 'fail'.\n"},
    OptValues{{"help", 3, "Explain input dump and quit"},
              {"always", 2, "Always dump input"},
              {"fail", 1, "Dump input on failure"},
              {"never", 0, "Never dump input"}});

EnumList dumpInputFilterOption(
    OptName{"dump-input-filter"}, OccurAny,
    OptHelp{"In the dump requested by -dump-input, print only input lines of\n"
            "kind <value> plus any context specified by -dump-input-context.\n"
            "When there are multiple occurrences of this option, the <value>\n"
            "that appears earliest in the list below has precedence.  The\n"
            "default is 'error' when -dump-input=fail, and it's 'all' when\n"
            "-dump-input=always.\n"},
    OptValues{{"all", 3, "All input lines"},
              {"annotation-full", 2, "Input lines with annotations"},
              {"annotation", 1,
               "Input lines with starting points of annotations"},
              {"error", 0,
               "Input lines with starting points of error annotations"}});

ListOption<uint32_t> dumpInputContextOption(
    OptName{"dump-input-context"}, OptValueName{"N"}, OccurAny,
    OptHelp{"In the dump requested by -dump-input, print <N> input lines\n"
            "before and <N> input lines after any lines specified by\n"
            "-dump-input-filter.  When there are multiple occurrences of\n"
            "this option, the largest specified <N> has precedence.  The\n"
            "default is 5.\n"});

struct ExtraHelp {
  ExtraHelp() {
    OptionRegistry::get().addExtraHelp(
        "\nOptions are parsed from the environment variable OSTREL_OPTS and\n"
        "from the command line.\n");
  }
} extraHelp;

} // namespace

namespace toolOptions {

const std::string &checkFile() { return checkFileOption.get(); }
unsigned checkFileOccurrences() { return checkFileOption.occurrences; }
const std::string &inputFile() { return inputFileOption.get(); }
const std::vector<std::string> &checkPrefixes() {
  return checkPrefixOption.values();
}
const std::vector<std::string> &commentPrefixes() {
  return commentPrefixesOption.values();
}
const std::vector<std::string> &implicitCheckNot() {
  return implicitCheckNotOption.values();
}
const std::vector<std::string> &defines() { return defineOption.values(); }
bool strictWhitespace() { return strictWhitespaceOption.get(); }
bool ignoreCase() { return ignoreCaseOption.get(); }
bool allowEmpty() { return allowEmptyOption.get(); }
bool allowUnusedPrefixes() { return allowUnusedPrefixesOption.get(); }
bool matchFullLines() { return matchFullLinesOption.get(); }
bool enableVarScope() { return enableVarScopeOption.get(); }
bool allowDeprecatedDagOverlap() {
  return allowDeprecatedDagOverlapOption.get();
}
bool verbose() { return verboseOption.get(); }
bool veryVerbose() { return veryVerboseOption.get(); }
const std::vector<int32_t> &dumpInput() { return dumpInputOption.values(); }
const std::vector<int32_t> &dumpInputFilter() {
  return dumpInputFilterOption.values();
}
const std::vector<uint32_t> &dumpInputContext() {
  return dumpInputContextOption.values();
}

Settings read() {
  Settings settings;
  settings.checkFile = checkFile();
  settings.inputFile = inputFile();
  settings.dump = deriveDumpSettings(dumpInput(), dumpInputFilter(), dumpInputContext());
  CheckOptions &check = settings.check;
  check.checkPrefixes = viewsOf(checkPrefixes());
  check.commentPrefixes = viewsOf(commentPrefixes());
  check.implicitCheckNot = viewsOf(implicitCheckNot());
  check.strictWhitespace = strictWhitespace();
  check.allowEmpty = allowEmpty();
  check.allowUnusedPrefixes = allowUnusedPrefixes();
  check.matchFullLines = matchFullLines();
  check.ignoreCase = ignoreCase();
  check.enableVarScope = enableVarScope();
  check.allowDeprecatedDagOverlap = allowDeprecatedDagOverlap();
  check.verbose = verbose() || veryVerbose();
  check.veryVerbose = veryVerbose();
  return settings;
}

} // namespace toolOptions

} // namespace ostrel
