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

CheckOptions UpdateSettings::checkOptions() const {
  CheckOptions options = checker;
  options.checkPrefixes = {checkPrefix};
  options.commentPrefixes = viewsOf(commentPrefixes);
  options.implicitCheckNot = viewsOf(implicitCheckNot);
  options.defines = viewsOf(defines);
  return options;
}

UpdateSettings readUpdateSettings() {
  UpdateSettings settings;
  settings.testFile = testFileOption.get();
  settings.inputFile = inputFileOption.get();
  settings.checkPrefix = checkPrefixOption.get();
  if (commentOption.occurrences > 0)
    settings.comment = commentOption.get();
  settings.generator.labels = labelOption.values();
  settings.generator.scrubs = scrubOption.values();
  settings.generator.scrubNumbers = scrubNumbersOption.get();
  settings.generator.whole = wholeOption.get();
  settings.print = printOption.get();
  settings.diff = diffOption.get();
  settings.check = checkOption.get();
  settings.dropHandWritten = dropHandWrittenOption.get();
  settings.commentPrefixes = commentPrefixesOption.values();
  settings.implicitCheckNot = implicitCheckNotOption.values();
  settings.defines = defineOption.values();
  CheckOptions &checker = settings.checker;
  checker.allowEmpty = allowEmptyOption.get();
  checker.strictWhitespace = strictWhitespaceOption.get();
  checker.matchFullLines = matchFullLinesOption.get();
  checker.ignoreCase = ignoreCaseOption.get();
  checker.enableVarScope = enableVarScopeOption.get();
  checker.allowDeprecatedDagOverlap = allowDeprecatedDagOverlapOption.get();
  return settings;
}

} // namespace ostrel
