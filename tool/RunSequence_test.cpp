#include "tool/RunSequence.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ostrel {

namespace {

TEST(RunSequence, DefinitionsNeedANameAndAnEqualSign) {
  std::vector<std::string> values = {"A=1", "", "NOEQUALS", "=1", "B=", "#N=2", "=", "#F,M=3"};
  std::vector<TextRef> accepted;
  std::string errors;
  StringOutputStream os(errors);
  EXPECT_FALSE(checkDefinitions(values, accepted, os));
  EXPECT_EQ(accepted, (std::vector<TextRef>{"A=1", "B=", "#N=2", "#F,M=3"}));
  EXPECT_EQ(errors, "Missing equal sign in command-line definition '-D'\n"
                    "Missing equal sign in command-line definition '-DNOEQUALS'\n"
                    "Missing variable name in command-line definition '-D=1'\n"
                    "Missing variable name in command-line definition '-D='\n");

  accepted.clear();
  errors.clear();
  EXPECT_TRUE(checkDefinitions({"X=1"}, accepted, os));
  EXPECT_EQ(errors, "");
}

TEST(RunSequence, CommandLineEchoPutsABlankBeforeEveryArgument) {
  const char *argv[] = {"ostrel", nullptr, "check.txt"};
  std::string out;
  StringOutputStream os(out);
  echoCommandLine(os, 3, argv);
  EXPECT_EQ(out, "Ostrel command line:  ostrel  check.txt\n");
}

} // namespace

} // namespace ostrel
