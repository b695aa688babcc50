#include "support/cmdline/HelpPrinter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "support/cmdline/AliasOption.h"
#include "support/cmdline/ListOption.h"
#include "support/cmdline/OptionOutput.h"
#include "support/cmdline/OptionRegistry.h"
#include "support/cmdline/SingleValueOption.h"

namespace ostrel {

namespace {

struct ListedOption {
  std::string key;
  CommandOption *option;
};

std::vector<ListedOption> collectOptions(const CommandScope &scope,
                                         bool showHidden) {
  std::vector<ListedOption> listed;
  std::vector<const CommandOption *> seen;
  scope.options.forEach([&](TextRef key, CommandOption *option) {
    Visibility visibility = option->visibility();
    if (visibility == HiddenEverywhere ||
        (visibility == HiddenInHelp && !showHidden))
      return;
    if (std::find(seen.begin(), seen.end(), option) != seen.end())
      return;
    seen.push_back(option);
    listed.push_back(ListedOption{std::string(key), option});
  });
  std::sort(listed.begin(), listed.end(),
            [](const ListedOption &a, const ListedOption &b) {
              return std::strcmp(a.key.c_str(), b.key.c_str()) < 0;
            });
  return listed;
}

} // namespace

void HelpPrinter::print() const {
  OptionRegistry &registry = OptionRegistry::get();
  const CommandScope &scope =
      registry.activeScope ? *registry.activeScope : topLevelScope();
  std::vector<ListedOption> listed = collectOptions(scope, showHidden);

  std::string head;
  if (!registry.overview.empty()) {
    head.append("OVERVIEW: ");
    head.append(registry.overview);
    head.push_back('\n');
  }
  head.append("USAGE: ");
  head.append(registry.programName);
  head.append(" [options]");
  for (const CommandOption *positional : scope.positionals) {
    if (!positional->name.empty())
      head.append(" --").append(positional->name);
    head.append(" ").append(positional->help);
  }
  if (scope.consumeAfter)
    head.append(" ").append(scope.consumeAfter->help);
  head.append("\n\n");

  size_t width = 0;
  for (const ListedOption &entry : listed)
    width = std::max(width, entry.option->helpWidth());
  head.append("OPTIONS:\n");
  writeOptionOutput(head);

  if (!categorized) {
    for (const ListedOption &entry : listed)
      entry.option->printHelpLine(width);
  } else {
    std::vector<HelpCategory *> sorted = registry.categories;
    std::sort(sorted.begin(), sorted.end(),
              [](const HelpCategory *a, const HelpCategory *b) {
                return a->name < b->name;
              });
    for (HelpCategory *category : sorted) {
      std::vector<CommandOption *> members;
      for (const ListedOption &entry : listed)
        for (HelpCategory *c : entry.option->categories)
          if (c == category) {
            members.push_back(entry.option);
            break;
          }
      if (members.empty() && !showHidden)
        continue;
      std::string heading("\n");
      heading.append(category->name);
      heading.append(":\n");
      if (!category->description.empty()) {
        heading.append(category->description);
        heading.append("\n\n");
      } else {
        heading.append("\n");
      }
      if (members.empty())
        heading.append("  This option category has no options.\n");
      writeOptionOutput(heading);
      for (CommandOption *option : members)
        option->printHelpLine(width);
    }
  }

  for (TextRef text : registry.extraHelp)
    writeOptionOutput(text);
  registry.extraHelp.clear();
}

void printHelp(const HelpPrinter &printer) { printer.print(); }

namespace {

const char *const projectAddress = "https://www.varnix.org/";

TextRef defaultTargetDescription() {
#if defined(__x86_64__)
#define OSTREL_TARGET_ARCH "x86_64"
#elif defined(__aarch64__)
#define OSTREL_TARGET_ARCH "aarch64"
#else
#define OSTREL_TARGET_ARCH "unknown"
#endif
#if defined(__FreeBSD__)
  return OSTREL_TARGET_ARCH "-unknown-freebsd";
#elif defined(__linux__)
  return OSTREL_TARGET_ARCH "-unknown-linux-gnu";
#else
  return OSTREL_TARGET_ARCH "-unknown-unknown";
#endif
}

// The processor the build targets at its baseline; a finer answer would
// make the version text vary from machine to machine.
TextRef hostProcessorName() {
#if defined(__x86_64__)
  return "x86-64";
#else
  return "generic";
#endif
}

} // namespace

void printVersion() {
  std::string text("VARNIX (");
  text.append(projectAddress);
  text.append("):\n  ");
  text.append("VARNIX version 15.0.0git\n  ");
  text.append("Optimized build.\n");
  text.append("  Default target: ");
  text.append(defaultTargetDescription());
  text.append("\n  Host CPU: ");
  TextRef cpu = hostProcessorName();
  text.append(cpu == "generic" ? TextRef("(unknown)") : cpu);
  text.append("\n");
  writeOptionOutput(text);
}

HelpCategory &genericCategory() {
  static HelpCategory *category = new HelpCategory("Generic Options");
  return *category;
}

namespace {

using Flag = SingleValueOption<bool>;

Flag *helpListOption = nullptr;

[[noreturn]] void printAndExit(const HelpPrinter &printer) {
  printHelp(printer);
  exitAfterOptions(0);
}

// help and help-hidden pick the categorized listing once the program has
// more than one category; it then shows help-list, which is hidden otherwise.
void dispatchHelp(bool showHidden) {
  if (OptionRegistry::get().categories.size() < 2)
    printAndExit(HelpPrinter{false, showHidden});
  if (helpListOption)
    helpListOption->setVisibility(Shown);
  printAndExit(HelpPrinter{true, showHidden});
}

} // namespace

void createBuiltinOptions() {
  HelpCategory &generic = genericCategory();
  OptScope all{allScopes()};
  OptCategory category{generic};

  Flag *help = new Flag(
      OptName{"help"},
      OptHelp{"Display available options (--help-hidden for more)"},
      ValueDisallowed, category, all, OptCallback<bool>{[](const bool &on) {
        if (on)
          dispatchHelp(false);
      }});
  new AliasOption(OptName{"h"}, OptHelp{"Alias for --help"}, OptAliasOf{*help},
                  OverridableDefault);
  helpListOption = new Flag(
      OptName{"help-list"},
      OptHelp{"Display list of available options (--help-list-hidden for more)"},
      ValueDisallowed, HiddenInHelp, category, all,
      OptCallback<bool>{[](const bool &on) {
        if (on)
          printAndExit(HelpPrinter{false, false});
      }});
  new Flag(OptName{"help-list-hidden"},
           OptHelp{"Display list of all available options"}, ValueDisallowed,
           HiddenInHelp, category, all, OptCallback<bool>{[](const bool &on) {
             if (on)
               printAndExit(HelpPrinter{false, true});
           }});
  new Flag(OptName{"help-hidden"}, OptHelp{"Display all available options"},
           ValueDisallowed, HiddenInHelp, category, all,
           OptCallback<bool>{[](const bool &on) {
             if (on)
               dispatchHelp(true);
           }});
  new Flag(OptName{"print-options"},
           OptHelp{"Print non-default options after command line parsing"},
           HiddenInHelp, OptInit{false}, category, all);
  new Flag(OptName{"print-all-options"},
           OptHelp{"Print all option values after command line parsing"},
           HiddenInHelp, OptInit{false}, category, all);
  new Flag(OptName{"version"}, OptHelp{"Display the version of this program"},
           ValueDisallowed, category, OptCallback<bool>{[](const bool &on) {
             if (on) {
               printVersion();
               exitAfterOptions(0);
             }
           }});
}

void createLibraryWideOptions() {
  new Flag(OptName{"treat-scalable-fixed-error-as-warning"},
           OptHelp{"Treat issues where a fixed-width property is requested "
                   "from a scalable type as a warning, instead of an error"},
           HiddenInHelp);
  new Flag(OptName{"disable-symbolication"},
           OptHelp{"Disable symbolizing crash backtraces."}, HiddenInHelp);
  new SingleValueOption<std::string>(
      OptName{"crash-diagnostics-dir"}, OptValueName{"directory"},
      OptHelp{"Directory for crash diagnostic files."}, HiddenInHelp);
  new Flag(OptName{"print-debug-counter"},
           OptHelp{"Print out debug counter info after all counters "
                   "accumulated"},
           HiddenInHelp);
  new ListOption<std::string>(
      OptName{"debug-counter"},
      OptHelp{"Comma separated list of debug counter skip and count"},
      SplitOnCommas, HiddenInHelp, OptCompactHelp{});
  new SingleValueOption<uint64_t>(
      OptName{"rng-seed"}, OptValueName{"seed"},
      OptHelp{"Seed for the random number generator"}, HiddenInHelp,
      OptInit{uint64_t(0)});
  new Flag(OptName{"stats"},
           OptHelp{"Enable statistics output from program (available with "
                   "Asserts)"},
           HiddenInHelp);
  new Flag(OptName{"stats-json"}, OptHelp{"Display statistics as json data"},
           HiddenInHelp);
  new Flag(OptName{"track-memory"},
           OptHelp{"Enable -time-passes memory tracking (this may be slow)"},
           HiddenInHelp);
  new SingleValueOption<std::string>(
      OptName{"info-output-file"}, OptValueName{"filename"},
      OptHelp{"File to append -stats and -timer output to"}, HiddenInHelp);
  new Flag(OptName{"sort-timers"},
           OptHelp{"In the report, sort the timers in each group in wall "
                   "clock time order"},
           HiddenInHelp, OptInit{true});
}

} // namespace ostrel
