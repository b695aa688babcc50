#ifndef OSTREL_SUPPORT_FS_FILEBUFFER_H
#define OSTREL_SUPPORT_FS_FILEBUFFER_H

/// An immutable, named block of bytes: a file's contents, standard input, or a
/// text presented as a file so that diagnostics can point into it. Every buffer
/// made here has a NUL byte just past its last byte (not part of its size), so
/// scanners may stop at the NUL instead of testing the end.
///
/// This is the bottom layer of the support library: failures come back as
/// std::error_code values and nothing here prints.

#include "support/fs/TextRef.h"

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <system_error>

namespace ostrel {

enum class BufferKind { Memory = 0, Mapped = 1 };

class FileBuffer {
public:
  virtual ~FileBuffer() = default;
  FileBuffer(const FileBuffer &) = delete;
  FileBuffer &operator=(const FileBuffer &) = delete;

  const char *bufferStart() const { return start_; }
  /// One past the last byte; the NUL stands here.
  const char *bufferEnd() const { return end_; }
  size_t bufferSize() const { return static_cast<size_t>(end_ - start_); }
  TextRef text() const { return TextRef(start_, bufferSize()); }

  /// The file name as given, "<stdin>" for standard input, or the caller's name.
  virtual TextRef bufferName() const = 0;
  /// Hint that the bytes will not be read again; only mapped buffers act on it.
  virtual void releasePages() {}
  virtual BufferKind bufferKind() const = 0;

  // Buffers live in raw malloc blocks sized for their header, name and bytes
  // (a stream's block grows with realloc while it is read), so deletion must
  // neither assume the static type's size nor use the global delete.
  static void operator delete(void *p) { std::free(p); }

protected:
  FileBuffer() = default;
  void setRange(const char *start, const char *end) {
    start_ = start;
    end_ = end;
  }

private:
  const char *start_ = nullptr;
  const char *end_ = nullptr;
};

using FileBufferPtr = std::unique_ptr<FileBuffer>;

/// A memory buffer whose bytes (and name) share one allocation with the header,
/// or whose bytes sit in an anonymous mapping of their own that it unmaps.
/// Its bytes can be filled in by whoever created it, before it is handed on.
class OwnedFileBuffer final : public FileBuffer {
public:
  ~OwnedFileBuffer() override;
  TextRef bufferName() const override { return name_; }
  BufferKind bufferKind() const override { return BufferKind::Memory; }
  char *mutableStart() { return const_cast<char *>(bufferStart()); }
  /// Keeps only the first `size` bytes (no more than there are) and places
  /// the NUL after them; for bytes rewritten in place into a shorter text.
  void truncate(size_t size);

private:
  friend struct OwnedBufferLayout;
  OwnedFileBuffer(TextRef name, char *start, size_t size, size_t mappedSize = 0)
      : name_(name), mappedSize_(mappedSize) {
    setRange(start, start + size);
  }
  TextRef name_;
  /// Nonzero when the bytes start a mapping of this many bytes.
  size_t mappedSize_;
};

/// Either a loaded buffer or the system error that prevented loading it.
template <class Buffer> struct BufferOrError {
  std::unique_ptr<Buffer> buffer;
  std::error_code error;

  BufferOrError(std::unique_ptr<Buffer> loaded, std::error_code failure)
      : buffer(std::move(loaded)), error(failure) {}
  template <class Derived>
  BufferOrError(BufferOrError<Derived> &&other)
      : buffer(std::move(other.buffer)), error(other.error) {}
  explicit operator bool() const { return buffer != nullptr; }
};
using FileBufferOrError = BufferOrError<FileBuffer>;
using OwnedFileBufferOrError = BufferOrError<OwnedFileBuffer>;

/// The error of a regular file whose size changed while it was read, so that
/// the bytes read are neither the old contents nor the new ones.
std::error_code fileChangedSizeError();

/// Reads standard input (name "-", buffer named "<stdin>") or the named file.
/// A regular file that reports no size (files under /proc) is read to its
/// end; one whose size changes while it is read gives fileChangedSizeError();
/// one that yields fewer bytes than it reports, without changing size, gives
/// those bytes. Large regular files are mapped instead of copied. `textMode`
/// changes nothing on this platform. `mayChange` marks a file that may be
/// modified while it is read; with `requiresNul` it is never mapped. A mapped
/// file that another process truncates faults when the lost pages are
/// touched: callers that must survive that read with readFileOrInput.
FileBufferOrError loadFileOrInput(TextRef name, bool textMode = true,
                                  bool requiresNul = true, bool mayChange = false);

/// Reads like loadFileOrInput but never maps: the bytes are the caller's to
/// rewrite (the run sequence prepares its texts in place).
OwnedFileBufferOrError readFileOrInput(TextRef name);

/// Reads an open descriptor to its end (never mapped) into a buffer named `name`.
OwnedFileBufferOrError loadStream(int fd, TextRef name);

/// The address range first reserved for a stream that is not a regular file
/// (it grows when the input fills it); tests lower it to reach the growth.
extern size_t streamReservation;

/// For tests: when set, called with the descriptor of a named regular file
/// right after its size was taken, so that a test can change the file at
/// exactly that moment.
extern void (*afterFileSizeQuery)(int fd);

/// A buffer over `text` without copying; the caller keeps `text` alive and
/// NUL-terminated for longer than the buffer. Null only when out of memory.
FileBufferPtr viewText(TextRef text, TextRef name);

/// A buffer holding a copy of `text` plus the NUL. Null when out of memory.
FileBufferPtr copyText(TextRef text, TextRef name);

/// A buffer of `size` bytes not yet set, the NUL already placed after them.
/// Null when the allocation fails or its size computation overflows.
std::unique_ptr<OwnedFileBuffer> allocateBuffer(size_t size, TextRef name);

} // namespace ostrel

#endif
