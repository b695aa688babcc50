#include "tool/ToolOptions.h"

#include <gtest/gtest.h>

#include "support/cmdline/CommandLineParser.h"
#include "support/cmdline/OptionRegistry.h"

namespace ostrel {

namespace {

using Strings = std::vector<std::string>;

void parseTool(std::vector<const char *> argv) {
  std::vector<CommandOption *> all;
  topLevelScope().options.forEach(
      [&](TextRef, CommandOption *option) { all.push_back(option); });
  for (CommandOption *option : topLevelScope().positionals)
    all.push_back(option);
  for (CommandOption *option : all) {
    option->resetToDefault();
    option->occurrences = 0;
  }
  parseCommandLine(int(argv.size()), argv.data(), "", "OSTREL_OPTS");
}

TEST(ToolOptions, DefaultsBeforeAnyValue) {
  parseTool({"ostrel"});
  EXPECT_EQ(toolOptions::checkFile(), "");
  EXPECT_EQ(toolOptions::checkFileOccurrences(), 0u);
  EXPECT_EQ(toolOptions::inputFile(), "-");
  EXPECT_TRUE(toolOptions::checkPrefixes().empty());
  EXPECT_TRUE(toolOptions::dumpInput().empty());
  EXPECT_FALSE(toolOptions::allowEmpty() || toolOptions::verbose() ||
               toolOptions::veryVerbose() || toolOptions::strictWhitespace());
}

TEST(ToolOptions, ValuesInCommandLineOrder) {
  setenv("OSTREL_OPTS", "-check-prefix=ENV -dump-input=never", 1);
  parseTool({"ostrel", "--check-prefix=A", "-check-prefixes=B,C",
             "--check-prefix=D,E", "-check-prefixes", "F", "-DX=1", "-D=y",
             "-DZ", "-comment-prefixes=X,,Y", "-dump-input=help",
             "-dump-input", "fail", "-dump-input-filter=annotation-full",
             "-dump-input-context=3", "-dump-input-context=0x10", "-vvv",
             "-implicit-check-not", "warn ing", "checks.txt",
             "-input-file=in.txt", "-allow-empty"});
  unsetenv("OSTREL_OPTS");
  EXPECT_EQ(toolOptions::checkPrefixes(),
            (Strings{"ENV", "A", "B", "C", "D,E", "F"}));
  EXPECT_EQ(toolOptions::defines(), (Strings{"X=1", "=y", "Z"}));
  EXPECT_EQ(toolOptions::commentPrefixes(), (Strings{"X", "", "Y"}));
  EXPECT_EQ(toolOptions::dumpInput(), (std::vector<int32_t>{0, 3, 1}));
  EXPECT_EQ(toolOptions::dumpInputFilter(), (std::vector<int32_t>{2}));
  EXPECT_EQ(toolOptions::dumpInputContext(), (std::vector<uint32_t>{3, 16}));
  EXPECT_EQ(toolOptions::implicitCheckNot(), (Strings{"warn ing"}));
  EXPECT_TRUE(toolOptions::verbose());
  EXPECT_FALSE(toolOptions::veryVerbose()) << "-vvv is v grouped thrice";
  EXPECT_EQ(toolOptions::checkFile(), "checks.txt");
  EXPECT_EQ(toolOptions::inputFile(), "in.txt");
  EXPECT_TRUE(toolOptions::allowEmpty());
}

TEST(ToolOptions, EnumeratedValuesMapToTheirNumbers) {
  parseTool({"ostrel", "-dump-input=always", "-dump-input=never",
             "-dump-input-filter=all", "-dump-input-filter=annotation",
             "-dump-input-filter=error"});
  EXPECT_EQ(toolOptions::dumpInput(), (std::vector<int32_t>{2, 0}));
  EXPECT_EQ(toolOptions::dumpInputFilter(), (std::vector<int32_t>{3, 1, 0}));
}

} // namespace

} // namespace ostrel
