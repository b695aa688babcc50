#include "support/cmdline/HelpPrinter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <regex>

#include "support/cmdline/AliasOption.h"
#include "support/cmdline/ListOption.h"
#include "support/cmdline/OptionRegistry.h"
#include "support/cmdline/SingleValueOption.h"
#include "support/diag/OutputStream.h"

namespace ostrel {

namespace {

std::string literal(const std::string &text) {
  return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"),
                            R"(\$&)");
}

// Runs in a fresh child process, so the scope below holds only these options
// and the registry knows only the categories they create. Standard output is
// sent to standard error, where the death test can compare it.
void printListingsOfPrivateScope() {
  std::fflush(stdout);
  dup2(2, 1);
  static CommandScope scope;
  OptionRegistry &registry = OptionRegistry::get();
  registry.registerScope(scope);
  OptScope in{scope};
  static HelpCategory quiet("Empty Cat", "Nothing here.");
  static SingleValueOption<std::string> position(
      OptHelp{"<pos>"}, PositionalForm, OccurRequired, in, OptCategory{quiet});
  static ListOption<std::string> rest(OptHelp{"<rest>..."}, ConsumeAfter, in);
  static ListOption<std::string> eats(OptName{"eats"}, OptHelp{"eats args"},
                                      EatsFollowingArgs, in);
  static AliasOption shortEats(OptName{"e"}, OptHelp{"alias of eats"},
                               OptAliasOf{eats});
  static SingleValueOption<uint32_t> count(OptName{"n"}, OptHelp{"one char"},
                                           in);
  static SingleValueOption<int32_t> mode(
      OptName{"mode"}, OptHelp{"mode help"}, ValueAccepted, in,
      OptValues{{"", 0, ""}, {"x", 1, "the x\nmore"}, {"yy", 2, ""}});
  static SingleValueOption<bool> secret(OptName{"secret"}, OptHelp{"hidden"},
                                        HiddenInHelp, in);
  registry.activeScope = &scope;
  registry.programName = "prog";
  registry.overview = "an overview";
  registry.addExtraHelp("\nextra text\n");
  printHelp(HelpPrinter{true, true});
  printHelp(HelpPrinter{false, false});
  standardOutput().flush();
  std::exit(0);
}

TEST(HelpPrinterDeathTest, LayoutsOfEveryBlockKind) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  // The widest block is --eats (23 columns), so every " - " starts at
  // column 20 and continuation lines at column 23 (25 for literal help).
  std::string head = "OVERVIEW: an overview\n"
                     "USAGE: prog [options] <pos> <rest>...\n"
                     "\n"
                     "OPTIONS:\n";
  std::string eats = "  --eats <string>... - eats args\n";
  std::string mode = "  --mode             - mode help\n"
                     "  --mode=<value>     - mode help\n"
                     "    =x               -   the x\n"
                     "                         more\n"
                     "    =yy\n";
  std::string count = "  -n <uint>          - one char\n";
  std::string expected =
      head + "\nEmpty Cat:\nNothing here.\n\n"
             "  This option category has no options.\n"
             "\nGeneral options:\n\n"
             "  -e                 - alias of eats\n" +
      eats + mode + count + "  --secret           - hidden\n" +
      "\nextra text\n" + head + eats + mode + count;
  EXPECT_EXIT(printListingsOfPrivateScope(), testing::ExitedWithCode(0),
              "^" + literal(expected) + "$");
}

} // namespace

} // namespace ostrel
