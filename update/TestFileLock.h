#ifndef OSTREL_UPDATE_TESTFILELOCK_H
#define OSTREL_UPDATE_TESTFILELOCK_H

/// An exclusive lock on a test file for the time of its update, so that two
/// updates of one file never both read the old contents and write their own:
/// the second waits until the first is done, then reads what it wrote. A
/// file that does not exist yet is locked through its folder until it does.
/// The lock is an advisory lock (flock) on the file that a symbolic link
/// names; it ends with the object.

#include "support/diag/ErrorValue.h"
#include "support/diag/OutputStream.h"

#include <string>

namespace ostrel {

class TestFileLock {
public:
  /// Waits for the lock on `path`, saying once on `errs` that it waits when
  /// another process holds it; an error when the file or its folder cannot
  /// be opened.
  static ValueOrError<TestFileLock> acquire(const std::string &path, OutputStream &errs);
  TestFileLock(TestFileLock &&other) noexcept : fd(other.fd) { other.fd = -1; }
  TestFileLock &operator=(TestFileLock &&) = delete;
  ~TestFileLock();

private:
  explicit TestFileLock(int fd) : fd(fd) {}
  int fd;
};

/// Removes the temporary files (".NAME.ostrel-update-XXXXXX") that an
/// interrupted earlier update of `path` left beside the file it names; call
/// it while holding the lock, so that no running update loses its own.
/// Answers how many were removed.
unsigned removeStaleTemporaries(const std::string &path);

} // namespace ostrel

#endif
