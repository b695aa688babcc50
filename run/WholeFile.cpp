#include "run/WholeFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

std::error_code readRegularFile(const std::string &path, std::string &text) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    return std::error_code(errno, std::generic_category());
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    int error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    return std::error_code(error, std::generic_category());
  }
  text.resize(static_cast<size_t>(info.st_size));
  size_t filled = 0;
  for (;;) {
    if (filled == text.size())
      text.resize(filled + 4096 + filled / 2);
    ssize_t got = ::read(fd, text.data() + filled, text.size() - filled);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0) {
      int error = errno;
      ::close(fd);
      return std::error_code(error, std::generic_category());
    }
    if (got == 0)
      break;
    filled += static_cast<size_t>(got);
  }
  text.resize(filled);
  ::close(fd);
  return {};
}

ErrorValue writeWholeFile(const std::string &path, const std::string &text) {
  std::string temporary = path + ".tmp" + std::to_string(::getpid());
  FILE *file = std::fopen(temporary.c_str(), "wb");
  if (!file)
    return makeTextError(std::error_code(errno, std::generic_category()),
                         "cannot write '" + path + "': " + std::strerror(errno));
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  written = std::fclose(file) == 0 && written;
  if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    int error = errno;
    std::remove(temporary.c_str());
    return makeTextError(std::error_code(error, std::generic_category()),
                         "cannot write '" + path + "': " + std::strerror(error));
  }
  return ErrorValue();
}

} // namespace ostrel
