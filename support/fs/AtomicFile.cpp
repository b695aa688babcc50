#include "support/fs/AtomicFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

namespace {

std::error_code lastError() { return std::error_code(errno, std::generic_category()); }

} // namespace

std::error_code replaceFileAtomically(const std::string &path, TextRef bytes,
                                      std::string &failedStep) {
  std::string target = path;
  char resolved[PATH_MAX];
  struct stat info;
  bool exists = lstat(path.c_str(), &info) == 0;
  if (exists && S_ISLNK(info.st_mode)) {
    if (!realpath(path.c_str(), resolved)) {
      failedStep = "resolve the link";
      return lastError();
    }
    target = resolved;
    exists = stat(target.c_str(), &info) == 0;
  }
  if (exists && access(target.c_str(), W_OK) != 0) {
    failedStep = "write";
    return lastError();
  }

  size_t slash = target.rfind('/');
  std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temporary = (slash == std::string::npos ? std::string() : folder) + "." + base +
                          ".ostrel-update-XXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0) {
    failedStep = "create a temporary file beside";
    return lastError();
  }
  auto fail = [&](const char *step) {
    std::error_code error = lastError();
    close(fd);
    unlink(temporary.c_str());
    failedStep = step;
    return error;
  };

  mode_t mode;
  if (exists) {
    mode = info.st_mode & 07777;
  } else {
    mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  // The new file keeps the old one's owner and group: always as root; as
  // another user only where the system lets it (a group of its own).
  if (exists && (info.st_uid != geteuid() || info.st_gid != getegid()) &&
      fchown(fd, info.st_uid, info.st_gid) != 0 && geteuid() == 0)
    return fail("keep the owner of the temporary file beside");
  if (fchmod(fd, mode) != 0)
    return fail("set the permissions of the temporary file beside");
  const char *data = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t written = write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR)
        continue;
      return fail("write the temporary file beside");
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  if (fsync(fd) != 0)
    return fail("flush the temporary file beside");
  if (close(fd) != 0) {
    std::error_code error = lastError();
    unlink(temporary.c_str());
    failedStep = "close the temporary file beside";
    return error;
  }
  if (rename(temporary.c_str(), target.c_str()) != 0) {
    std::error_code error = lastError();
    unlink(temporary.c_str());
    failedStep = "rename the temporary file over";
    return error;
  }
  return {};
}

} // namespace ostrel
