#include "support/cmdline/CompletionScript.h"

#include <gtest/gtest.h>

#include "support/cmdline/AliasOption.h"
#include "support/cmdline/ListOption.h"
#include "support/cmdline/OptionRegistry.h"
#include "support/cmdline/SingleValueOption.h"
#include "support/diag/OutputStream.h"

namespace ostrel {

namespace {

// One option of each way a value completes, in a scope of their own. The
// scope is not registered, so the library-wide options stay out of it.
CommandScope &privateScope() {
  static CommandScope scope;
  static bool made = false;
  if (made)
    return scope;
  made = true;
  OptScope in{scope};
  static SingleValueOption<std::string> input(
      OptName{"in-file"}, OptValueName{"filename"}, OptHelp{"h"}, in);
  static SingleValueOption<std::string> folder(
      OptName{"out-dir"}, OptValueName{"directory"}, OptHelp{"h"}, in);
  static ListOption<int32_t, EnumParser> mode(
      OptName{"mode"}, OptHelp{"h"}, in,
      OptValues{{"fast", 1, "f"}, {"it's", 2, "quoted"}});
  static AliasOption modeAlias(OptName{"m"}, OptAliasOf{mode}, OptHelp{"h"});
  static SingleValueOption<bool> flag(OptName{"quiet"}, OptHelp{"h"}, in);
  static ListOption<std::string> define(OptName{"D"}, PrefixOnlyForm,
                                        OptHelp{"h"}, in);
  static SingleValueOption<bool> secret(OptName{"secret"}, HiddenEverywhere,
                                        OptHelp{"h"}, in);
  return scope;
}

TEST(CompletionScriptTest, NamesLeaveOutOptionsHiddenEverywhere) {
  std::vector<std::string> expected{"D",     "in-file", "m",
                                    "mode",  "out-dir", "quiet"};
  EXPECT_EQ(optionNames(privateScope()), expected);
}

TEST(CompletionScriptTest, ScriptHoldsTheTableOfEveryOption) {
  std::string script;
  StringOutputStream out(script);
  writeBashCompletion(out, "my-prog", privateScope());
  const char *const expectedLines[] = {
      // "=" after the names that demand a value; -D takes its value glued.
      "  local names='-D --in-file= -m= --mode= --out-dir= --quiet'\n",
      "  local separate=' in-file m mode out-dir '\n",
      "  local glued=' D '\n",
      // Words of enumerations (quoted for the shell) and flags, and paths.
      "    'mode') echo 'fast it'\\''s' ;;\n",
      "    'm') echo 'fast it'\\''s' ;;\n",
      "    'quiet') echo 'true false' ;;\n",
      "    'in-file') echo ':file' ;;\n",
      "    'out-dir') echo ':directory' ;;\n",
      "complete -F _my_prog_complete my-prog\n",
  };
  for (const char *line : expectedLines)
    EXPECT_NE(script.find(line), std::string::npos) << line;
  EXPECT_EQ(script.find("secret"), std::string::npos);
  EXPECT_EQ(script.find("'D')"), std::string::npos);
}

} // namespace

} // namespace ostrel
