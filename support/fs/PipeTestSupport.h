#ifndef OSTREL_SUPPORT_FS_PIPETESTSUPPORT_H
#define OSTREL_SUPPORT_FS_PIPETESTSUPPORT_H

/// Test helper: a pipe for the tests of streams and readers.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace ostrel {

/// Opens a pipe whose ends lie above the standard descriptors, so that a
/// stream on its write end closes it even when the tests run with standard
/// input or output closed.
inline void openPipe(int fds[2]) {
  ASSERT_EQ(::pipe(fds), 0);
  for (int i = 0; i < 2; ++i) {
    if (fds[i] > 2)
      continue;
    int moved = ::fcntl(fds[i], F_DUPFD_CLOEXEC, 3);
    ASSERT_GE(moved, 3);
    ::close(fds[i]);
    fds[i] = moved;
  }
}

} // namespace ostrel

#endif
