#include "lint/LintRun.h"

#include "support/fs/FileBuffer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace ostrel {

namespace {

std::string shrinkingPath;

// A file that shrinks while it is read is reported as unreadable, and the
// files after it are still linted; it is never mapped, whose lost pages
// would end the program with a bus error.
TEST(LintRunTest, AFileThatShrinksWhileReadIsUnreadable) {
  char folder[] = "/tmp/ostrel-lint-run.XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  shrinkingPath = std::string(folder) + "/big.check";
  std::string goodPath = std::string(folder) + "/good.check";
  {
    std::ofstream big(shrinkingPath);
    for (int i = 0; i < 20000; ++i)
      big << "CHECK: line " << i << "\n";
    std::ofstream(goodPath) << "CHECK: x\n";
  }
  afterFileSizeQuery = [](int) { ASSERT_EQ(::truncate(shrinkingPath.c_str(), 10), 0); };
  const char *arguments[] = {"ostrel-lint", "--quiet", shrinkingPath.c_str(), goodPath.c_str()};
  int status = runLint(4, const_cast<char **>(arguments));
  afterFileSizeQuery = nullptr;
  EXPECT_EQ(status, 2);
  std::remove(shrinkingPath.c_str());
  std::remove(goodPath.c_str());
  ::rmdir(folder);
}

} // namespace

} // namespace ostrel
