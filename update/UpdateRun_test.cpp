#include "update/UpdateRun.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <numeric>
#include <string>
#include <unistd.h>

namespace ostrel {

namespace {

std::string shrinkingPath;

TEST(UpdateRun, AFileThatShrinksWhileItIsReadIsAnErrorNotAFault) {
  // Large enough to have been mapped, whose lost pages fault when touched.
  shrinkingPath = "/tmp/ostrel-update-shrink-" + std::to_string(getpid());
  const std::string &path = shrinkingPath;
  std::ofstream(path, std::ios::binary) << std::string((1 << 20) + 100, 'x');
  afterFileSizeQuery = [](int) { EXPECT_EQ(truncate(shrinkingPath.c_str(), 4096), 0); };
  OwnedFileBufferOrError read = readUpdateFile(path);
  afterFileSizeQuery = nullptr;
  std::remove(path.c_str());
  if (read) {
    TextRef text = read.buffer->text();
    EXPECT_EQ(std::accumulate(text.begin(), text.end(), size_t(0)), text.size() * 'x');
  } else {
    EXPECT_EQ(read.error, fileChangedSizeError());
  }
}

} // namespace

} // namespace ostrel
