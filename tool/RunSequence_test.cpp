#include "tool/RunSequence.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {

namespace {

TEST(RunSequence, CommandLineEchoPutsABlankBeforeEveryArgument) {
  const char *argv[] = {"ostrel", nullptr, "check.txt"};
  std::string out;
  StringOutputStream os(out);
  echoCommandLine(os, 3, argv);
  EXPECT_EQ(out, "Ostrel command line:  ostrel  check.txt\n");
}

} // namespace

} // namespace ostrel
