#include "update/TestFileLock.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

namespace {

constexpr char temporaryMarker[] = ".ostrel-update-";
/// mkstemp's six characters after the marker.
constexpr size_t temporarySuffixLength = 6;

ErrorValue systemError() {
  std::error_code code(errno, std::generic_category());
  return makeTextError(code, code.message());
}

std::string folderOf(const std::string &path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

/// Takes the lock on `fd`, telling once that it waits.
bool lockWaiting(int fd, const std::string &path, OutputStream &errs, bool &told) {
  if (flock(fd, LOCK_EX | LOCK_NB) == 0)
    return true;
  if (errno != EWOULDBLOCK)
    return false;
  if (!told) {
    errs << "ostrel-update: waiting for another update of '" << path << "' to finish\n";
    told = true;
  }
  while (flock(fd, LOCK_EX) != 0)
    if (errno != EINTR)
      return false;
  return true;
}

} // namespace

ValueOrError<TestFileLock> TestFileLock::acquire(const std::string &path, OutputStream &errs) {
  bool told = false;
  for (;;) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    bool folder = fd < 0 && errno == ENOENT;
    if (folder)
      fd = open(folderOf(path).c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
    if (fd < 0)
      return systemError();
    if (!lockWaiting(fd, path, errs, told)) {
      ErrorValue error = systemError();
      close(fd);
      return error;
    }
    // The file the lock holds must still be the one the name gives: an
    // update that held the lock before may have replaced or created it.
    struct stat locked, named;
    bool exists = stat(path.c_str(), &named) == 0;
    bool current = folder ? !exists
                          : exists && fstat(fd, &locked) == 0 && locked.st_dev == named.st_dev &&
                                locked.st_ino == named.st_ino;
    if (current)
      return TestFileLock(fd);
    close(fd);
  }
}

TestFileLock::~TestFileLock() {
  if (fd >= 0)
    close(fd);
}

unsigned removeStaleTemporaries(const std::string &path) {
  char resolved[PATH_MAX];
  std::string target = realpath(path.c_str(), resolved) ? std::string(resolved) : path;
  std::string folder = folderOf(target);
  size_t slash = target.rfind('/');
  std::string stem = "." + (slash == std::string::npos ? target : target.substr(slash + 1)) +
                     temporaryMarker;
  DIR *listing = opendir(folder.c_str());
  if (!listing)
    return 0;
  unsigned removed = 0;
  while (const dirent *entry = readdir(listing)) {
    std::string name = entry->d_name;
    if (name.size() == stem.size() + temporarySuffixLength && name.starts_with(stem) &&
        unlinkat(dirfd(listing), name.c_str(), 0) == 0)
      ++removed;
  }
  closedir(listing);
  return removed;
}

} // namespace ostrel
