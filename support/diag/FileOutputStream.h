#ifndef OSTREL_SUPPORT_DIAG_FILEOUTPUTSTREAM_H
#define OSTREL_SUPPORT_DIAG_FILEOUTPUTSTREAM_H

/// Output to a file descriptor: the standard streams, a file opened by name,
/// or any descriptor the caller hands over. Asks the terminal's description whether it shows
/// colours, and turns a write error into a fatal error when the stream ends.

#include "support/diag/OutputStream.h"

#include <cstdint>
#include <optional>
#include <system_error>
#include <utility>

namespace ostrel {

/// What a FileOutputStream does with its descriptor besides writing to it.
struct FileStreamSettings {
  /// Close the descriptor when the stream ends (never done for 0, 1 and 2).
  bool closeOnDestruction = false;
  /// Hand every write straight to the descriptor instead of buffering.
  bool unbuffered = false;
};

/// The first write error is recorded (later writes are still attempted);
/// destroying a stream with a recorded error ends the process with
/// "IO failure on output stream: " and the system's text.
class FileOutputStream : public OutputStream {
public:
  /// Takes `fd`; a negative one means no descriptor, and nothing is done.
  FileOutputStream(int fd, FileStreamSettings settings = {});
  /// Opens `path` for writing (created or truncated), buffered; "-" selects
  /// standard output. On failure `error` is set and the stream has no
  /// descriptor.
  FileOutputStream(TextRef path, std::error_code &error);
  ~FileOutputStream() override;

  /// Hands back the recorded write error and forgets it, for a program whose
  /// status must not depend on this stream (a report stream).
  std::error_code takeError() {
    flush();
    return std::exchange(error_, std::error_code());
  }

  bool isSeekable() const { return seekable_; }
  bool isRegularFile() const { return regularFile_; }

  bool isTerminal() const override;
  /// A terminal whose description gives a colour count above zero, or gives
  /// none and whose TERM suggests colours. Asked once, then remembered.
  bool supportsColours() const override;

protected:
  void writeToSink(const char *data, size_t size) override;
  uint64_t currentPosition() const override { return position_; }
  /// The descriptor's block size; 0 (unbuffered) for a terminal or when the
  /// descriptor cannot be examined.
  size_t preferredBufferSize() const override;

private:
  void examineDescriptor();

  int fd_;
  bool shouldClose_;
  bool seekable_ = false;
  bool regularFile_ = false;
  mutable std::optional<bool> colourCapability_;
  /// The descriptor's offset at construction (when seekable) plus every byte
  /// handed to it since.
  uint64_t position_ = 0;
  std::error_code error_;
};

/// Called when a write on a FileOutputStream fails because the pipe has no
/// reader (EPIPE). Without a hook the failure is recorded like any other.
using BrokenPipeHook = void (*)();
/// Installs `hook` (null: none) and answers the one it replaces.
BrokenPipeHook setBrokenPipeHook(BrokenPipeHook hook);

/// The fallback when a terminal's description gives no colour count: TERM is
/// "ansi", "cygwin" or "linux", starts with "screen", "xterm", "vt100" or
/// "rxvt", or ends with "color". Null (TERM unset) gives false.
bool termNameSuggestsColours(const char *term);

/// True once the process has begun exiting and the standard streams are
/// being destroyed, when calling exit() again would be undefined.
bool processIsExiting();

} // namespace ostrel

#endif
