#include "support/diag/FatalError.h"

#include "support/diag/FileOutputStream.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include <unistd.h>

namespace ostrel {

namespace {

std::atomic<FatalCleanupHook> cleanupHook{nullptr};

void writeAll(const char *data, size_t size) {
  while (size > 0) {
    ssize_t written = ::write(2, data, size);
    if (written < 0) {
      if (errno == EINTR || errno == EAGAIN)
        continue;
      return;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
}

void runCleanup() {
  if (FatalCleanupHook hook = cleanupHook.load())
    hook();
}

void outOfMemoryHandler() { reportOutOfMemory("Allocation failed"); }

} // namespace

void setFatalCleanupHook(FatalCleanupHook hook) { cleanupHook.store(hook); }

void reportFatal(TextRef message, bool crashReport) {
  {
    std::string line = "VARNIX ERROR: ";
    line.append(message.data(), message.size());
    line += '\n';
    ssize_t ignored = ::write(2, line.data(), line.size());
    (void)ignored;
  }
  runCleanup();
  if (crashReport)
    std::abort();
  if (processIsExiting())
    ::_exit(1);
  std::exit(1);
}

void reportOutOfMemory(const char *reason, bool /*crashReport*/) {
  static const char header[] = "VARNIX ERROR: out of memory\n";
  writeAll(header, sizeof(header) - 1);
  if (reason)
    writeAll(reason, std::strlen(reason));
  writeAll("\n", 1);
  std::abort();
}

void reportUnreachable(const char *message, const char *file, unsigned line) {
  std::string text;
  if (message) {
    text += message;
    text += '\n';
  }
  text += "UNREACHABLE executed";
  if (file) {
    text += " at ";
    text += file;
    text += ':';
    text += std::to_string(line);
  }
  text += "!\n";
  writeAll(text.data(), text.size());
  std::abort();
}

void installOutOfMemoryHandler() { std::set_new_handler(outOfMemoryHandler); }

} // namespace ostrel
