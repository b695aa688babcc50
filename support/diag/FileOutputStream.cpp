#include "support/diag/FileOutputStream.h"

#include "support/diag/FatalError.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>

#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

// The terminal-description functions of terminfo, declared here rather than
// through <term.h>, whose capability macros would leak into this file.
extern "C" {
struct term;
int setupterm(const char *termName, int fd, int *errorReturn);
struct term *set_curterm(struct term *newTerm);
int del_curterm(struct term *oldTerm);
int tigetnum(const char *capName);
}

namespace {

std::atomic<BrokenPipeHook> brokenPipeHook{nullptr};
std::atomic<bool> exiting{false};

void markExiting() { exiting.store(true); }

constexpr size_t MaxWritePiece = 2147483647;

// The terminal description library keeps global state.
std::mutex &terminfoLock() {
  static std::mutex lock;
  return lock;
}

// Asks terminfo whether the terminal on `fd` has colours; no answer when its
// description gives no colour count.
std::optional<bool> terminfoColours(int fd) {
  std::lock_guard<std::mutex> guard(terminfoLock());
  struct term *previous = set_curterm(nullptr);
  int errorReturn = 0;
  if (setupterm(nullptr, fd, &errorReturn) != 0) {
    set_curterm(previous);
    return false;
  }
  int colours = tigetnum("colors");
  struct term *ours = set_curterm(previous);
  del_curterm(ours);
  if (colours < 0)
    return std::nullopt;
  return colours != 0;
}

} // namespace

bool processIsExiting() { return exiting.load(); }

BrokenPipeHook setBrokenPipeHook(BrokenPipeHook hook) { return brokenPipeHook.exchange(hook); }

bool termNameSuggestsColours(const char *term) {
  if (!term)
    return false;
  TextRef name(term);
  static const TextRef exact[] = {"ansi", "cygwin", "linux"};
  static const TextRef prefixes[] = {"screen", "xterm", "vt100", "rxvt"};
  for (TextRef e : exact)
    if (name == e)
      return true;
  for (TextRef p : prefixes)
    if (name.starts_with(p))
      return true;
  return name.ends_with("color");
}

FileOutputStream::FileOutputStream(int fd, FileStreamSettings settings)
    : OutputStream(settings.unbuffered), fd_(fd),
      shouldClose_(settings.closeOnDestruction && fd > 2) {
  examineDescriptor();
}

FileOutputStream::FileOutputStream(TextRef path, std::error_code &error)
    : OutputStream(false), fd_(STDOUT_FILENO), shouldClose_(false) {
  error = std::error_code();
  if (path != "-") {
    std::string name(path);
    do {
      fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0)
      error = std::error_code(errno, std::generic_category());
    shouldClose_ = fd_ > 2;
  }
  examineDescriptor();
}

void FileOutputStream::examineDescriptor() {
  if (fd_ < 0)
    return;
  allowColours(true);
  off_t offset = ::lseek(fd_, 0, SEEK_CUR);
  struct stat status;
  bool statOk = ::fstat(fd_, &status) == 0;
  seekable_ = offset != static_cast<off_t>(-1) && statOk;
  regularFile_ = statOk && S_ISREG(status.st_mode);
  position_ = seekable_ ? static_cast<uint64_t>(offset) : 0;
}

FileOutputStream::~FileOutputStream() {
  if (fd_ >= 0) {
    flush();
    if (shouldClose_) {
      sigset_t all, previous;
      sigfillset(&all);
      pthread_sigmask(SIG_SETMASK, &all, &previous);
      int result = ::close(fd_);
      int closeErrno = errno;
      pthread_sigmask(SIG_SETMASK, &previous, nullptr);
      if (result != 0)
        error_ = std::error_code(closeErrno, std::generic_category());
    }
  }
  if (error_)
    reportFatal("IO failure on output stream: " + error_.message(), false);
}

void FileOutputStream::writeToSink(const char *data, size_t size) {
  position_ += size;
  while (size > 0) {
    size_t piece = std::min(size, MaxWritePiece);
    ssize_t written = ::write(fd_, data, piece);
    if (written < 0) {
      int number = errno;
      if (number == EINTR || number == EAGAIN || number == EWOULDBLOCK)
        continue;
      if (number == EPIPE)
        if (BrokenPipeHook hook = brokenPipeHook.load())
          hook();
      error_ = std::error_code(number, std::generic_category());
      return;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
}

size_t FileOutputStream::preferredBufferSize() const {
  struct stat status;
  if (::fstat(fd_, &status) != 0)
    return 0;
  if (S_ISCHR(status.st_mode) && ::isatty(fd_))
    return 0;
  return status.st_blksize > 0 ? static_cast<size_t>(status.st_blksize) : 0;
}

bool FileOutputStream::isTerminal() const { return fd_ >= 0 && ::isatty(fd_); }

bool FileOutputStream::supportsColours() const {
  if (!colourCapability_) {
    std::optional<bool> described = isTerminal() ? terminfoColours(fd_) : false;
    colourCapability_ = described ? *described : termNameSuggestsColours(std::getenv("TERM"));
  }
  return *colourCapability_;
}

OutputStream &standardOutput() {
  static FileOutputStream stream(STDOUT_FILENO, {.unbuffered = false});
  // Registered after the stream exists, so it runs before the stream's
  // destructor: a fatal error found then must not call exit() again.
  static bool registered = (std::atexit(markExiting), true);
  (void)registered;
  return stream;
}

OutputStream &standardError() {
  static FileOutputStream stream(STDERR_FILENO, {.unbuffered = true});
  static bool registered = (std::atexit(markExiting), true);
  (void)registered;
  return stream;
}

} // namespace ostrel
