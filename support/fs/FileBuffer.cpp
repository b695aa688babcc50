#include "support/fs/FileBuffer.h"

#include "support/fs/LargePages.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

// The single block of an owned buffer: the header, the name with its NUL,
// padding to the next multiple of 16, the bytes, one NUL.
struct OwnedBufferLayout {
  /// Bytes before the data; 0 when the size computation overflows.
  static size_t headerSize(TextRef name) {
    size_t raw = sizeof(OwnedFileBuffer) + name.size() + 1;
    size_t rounded = (raw + 15) & ~static_cast<size_t>(15);
    return raw < name.size() || rounded < raw ? 0 : rounded;
  }
  /// Builds the buffer in `mem` (a malloc block of at least header + size + 1
  /// bytes whose data bytes are set or left to the caller).
  static std::unique_ptr<OwnedFileBuffer> place(void *mem, size_t header, size_t size,
                                                TextRef name) {
    char *base = static_cast<char *>(mem);
    char *nameCopy = base + sizeof(OwnedFileBuffer);
    if (!name.empty())
      std::memcpy(nameCopy, name.data(), name.size());
    nameCopy[name.size()] = '\0';
    char *data = base + header;
    data[size] = '\0';
    return std::unique_ptr<OwnedFileBuffer>(
        new (mem) OwnedFileBuffer(TextRef(nameCopy, name.size()), data, size));
  }
  /// Builds the buffer in `mem` (a malloc block holding the header and the
  /// copied name) over `size` bytes at the start of a mapping it will unmap.
  static std::unique_ptr<OwnedFileBuffer> placeOverMapping(void *mem, TextRef nameCopy, char *data,
                                                           size_t size, size_t mappedSize) {
    data[size] = '\0';
    return std::unique_ptr<OwnedFileBuffer>(new (mem)
                                                OwnedFileBuffer(nameCopy, data, size, mappedSize));
  }
};

namespace {

constexpr size_t StreamChunk = 16384;
constexpr size_t MapThreshold = 16384;

std::error_code systemError(int number) { return std::error_code(number, std::generic_category()); }

// Allocates a block for a buffer header of type T followed by `name` with its
// NUL, and copies the name in. Returns the raw block and the copied name.
template <class T> void *allocateHeader(TextRef name, char *&nameCopy) {
  size_t total = sizeof(T) + name.size() + 1;
  if (total < name.size())
    return nullptr;
  void *mem = std::malloc(total);
  if (!mem)
    return nullptr;
  nameCopy = static_cast<char *>(mem) + sizeof(T);
  if (!name.empty())
    std::memcpy(nameCopy, name.data(), name.size());
  nameCopy[name.size()] = '\0';
  return mem;
}

class ViewFileBuffer final : public FileBuffer {
public:
  ViewFileBuffer(TextRef text, TextRef name) : name_(name) {
    setRange(text.data(), text.data() + text.size());
  }
  TextRef bufferName() const override { return name_; }
  BufferKind bufferKind() const override { return BufferKind::Memory; }

private:
  TextRef name_;
};

class MappedFileBuffer final : public FileBuffer {
public:
  MappedFileBuffer(void *mapping, size_t size, TextRef name)
      : mapping_(mapping), mappedSize_(size), name_(name) {
    const char *start = static_cast<const char *>(mapping);
    setRange(start, start + size);
  }
  ~MappedFileBuffer() override { ::munmap(mapping_, mappedSize_); }
  TextRef bufferName() const override { return name_; }
  BufferKind bufferKind() const override { return BufferKind::Mapped; }
  void releasePages() override {
    ::posix_madvise(mapping_, mappedSize_, POSIX_MADV_DONTNEED);
  }

private:
  void *mapping_;
  size_t mappedSize_;
  TextRef name_;
};

// Closes a descriptor when the reader is done with it, whatever the outcome.
struct DescriptorCloser {
  int fd;
  ~DescriptorCloser() { ::close(fd); }
};

OwnedFileBufferOrError outOfMemory() { return {nullptr, systemError(ENOMEM)}; }

class FileErrorCategory final : public std::error_category {
public:
  const char *name() const noexcept override { return "file"; }
  std::string message(int) const override { return "file changed size while being read"; }
};

bool shouldMap(size_t size, bool requiresNul, bool mayChange) {
  if (mayChange && requiresNul)
    return false;
  size_t page = systemPageSize();
  if (size < MapThreshold || size < page)
    return false;
  if (!requiresNul)
    return true;
  // The zero-filled rest of the last page supplies the NUL only when the
  // file does not end on a page boundary.
  return size % page != 0;
}

OwnedFileBufferOrError readRegularFile(int fd, size_t size, TextRef name) {
  std::unique_ptr<OwnedFileBuffer> buffer = allocateBuffer(size, name);
  if (!buffer)
    return outOfMemory();
  char *data = buffer->mutableStart();
  size_t done = 0;
  while (done < size) {
    ssize_t got = ::pread(fd, data + done, size - done, static_cast<off_t>(done));
    if (got < 0) {
      if (errno == EINTR)
        continue;
      return {nullptr, systemError(errno)};
    }
    if (got == 0) {
      // Kernel attribute files report a page and yield a few bytes; any other
      // file that ends early was cut while it was read, and what was read is
      // no state the file ever had.
      struct stat status;
      if (::fstat(fd, &status) != 0 || static_cast<size_t>(status.st_size) != size)
        return {nullptr, fileChangedSizeError()};
      buffer->truncate(done);
      break;
    }
    done += static_cast<size_t>(got);
  }
  return {std::move(buffer), {}};
}

// Opens the named file and reads it, or hands the descriptor and the size
// to `mapFile` first, which may answer with a buffer of its own.
template <class Buffer, class MapFile>
BufferOrError<Buffer> openAndRead(TextRef name, MapFile mapFile) {
  std::string path(name);
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0)
    return {nullptr, systemError(errno)};
  DescriptorCloser closer{fd};

  struct stat status;
  if (::fstat(fd, &status) != 0)
    return {nullptr, systemError(errno)};
  // Pipes, terminals, devices and sockets have no size to go by, nor do
  // files under /proc, which report none although they have contents.
  size_t size = static_cast<size_t>(status.st_size);
  if ((!S_ISREG(status.st_mode) && !S_ISBLK(status.st_mode)) || size == 0)
    return loadStream(fd, name);
  if (afterFileSizeQuery)
    afterFileSizeQuery(fd);
  if (std::unique_ptr<Buffer> mapped = mapFile(fd, size))
    return {std::move(mapped), {}};
  return readRegularFile(fd, size, name);
}

FileBufferPtr mapWhenItPays(int fd, size_t size, TextRef name, bool requiresNul,
                            bool mayChange) {
  if (!shouldMap(size, requiresNul, mayChange))
    return nullptr;
  void *mapping = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  // A failed mapping is not an error: the file is read instead.
  if (mapping == MAP_FAILED)
    return nullptr;
  char *nameCopy = nullptr;
  void *mem = allocateHeader<MappedFileBuffer>(name, nameCopy);
  if (!mem) {
    ::munmap(mapping, size);
    return nullptr;
  }
  return FileBufferPtr(new (mem) MappedFileBuffer(mapping, size, TextRef(nameCopy, name.size())));
}

} // namespace

std::unique_ptr<OwnedFileBuffer> allocateBuffer(size_t size, TextRef name) {
  size_t header = OwnedBufferLayout::headerSize(name);
  size_t total = header + size + 1;
  if (header == 0 || total < size)
    return nullptr;
  void *mem = std::malloc(total);
  if (!mem)
    return nullptr;
  // Filling a large input page by page cost a fault per 4 KiB page, as much
  // as reading and preparing its bytes.
  adviseLargePages(mem, total);
  return OwnedBufferLayout::place(mem, header, size, name);
}

FileBufferPtr copyText(TextRef text, TextRef name) {
  std::unique_ptr<OwnedFileBuffer> buffer = allocateBuffer(text.size(), name);
  if (!buffer)
    return nullptr;
  if (!text.empty())
    std::memcpy(buffer->mutableStart(), text.data(), text.size());
  return buffer;
}

FileBufferPtr viewText(TextRef text, TextRef name) {
  char *nameCopy = nullptr;
  void *mem = allocateHeader<ViewFileBuffer>(name, nameCopy);
  if (!mem)
    return nullptr;
  return FileBufferPtr(new (mem) ViewFileBuffer(text, TextRef(nameCopy, name.size())));
}

void OwnedFileBuffer::truncate(size_t size) {
  if (size < bufferSize()) {
    mutableStart()[size] = '\0';
    setRange(bufferStart(), bufferStart() + size);
  }
}

void (*afterFileSizeQuery)(int fd) = nullptr;
size_t streamReservation = size_t(1) << (sizeof(size_t) > 4 ? 32 : 28);

std::error_code fileChangedSizeError() {
  static const FileErrorCategory category;
  return std::error_code(1, category);
}

namespace {

// An anonymous mapping, unmapped unless it was handed on.
struct StreamMapping {
  char *mem = nullptr;
  size_t size = 0;
  ~StreamMapping() {
    if (mem)
      ::munmap(mem, size);
  }
};

// One read that a signal does not cut short: the bytes read, 0 at the end,
// or -1 with errno set.
ssize_t readRetrying(int fd, char *to, size_t room) {
  ssize_t got;
  do {
    got = ::read(fd, to, room);
  } while (got < 0 && errno == EINTR);
  return got;
}

// Reads a stream, and a pipe by way of a second pipe of its own. A read from
// the input pipe copies while it holds that pipe's lock, so a writer on the
// other core spins on the lock for the whole copy, as the reader does on the
// writer's. Moving the input's buffers into the relay takes the lock only for
// a moment, and the copy is made from the relay, whose lock no one else
// takes. Without a relay (no descriptor left, or a system that refuses the
// move) the stream is read directly.
class StreamReader {
public:
  StreamReader(int fd, mode_t mode) : fd_(fd) {
#ifdef F_SETPIPE_SZ
    if (!S_ISFIFO(mode))
      return;
    // A pipe of 64 KiB wakes reader and writer every 64 KiB; larger ones let
    // each side move more per switch. A refusal changes nothing else.
    ::fcntl(fd, F_SETPIPE_SZ, PipeSize);
    if (::pipe2(relay_, O_CLOEXEC) == 0)
      ::fcntl(relay_[1], F_SETPIPE_SZ, PipeSize);
#else
    (void)mode;
#endif
  }
  ~StreamReader() { closeRelay(); }
  StreamReader(const StreamReader &) = delete;
  StreamReader &operator=(const StreamReader &) = delete;

  /// Reads up to `room` bytes, as many as have arrived: the count, 0 at the
  /// end of the input, or -1 with errno set. A signal does not cut it short.
  ssize_t read(char *to, size_t room) {
#ifdef F_SETPIPE_SZ
    if (relay_[0] >= 0) {
      ssize_t moved;
      do {
        moved = ::splice(fd_, nullptr, relay_[1], nullptr, room, 0);
      } while (moved < 0 && errno == EINTR);
      if (moved >= 0)
        return copyFromRelay(to, static_cast<size_t>(moved));
      if (errno != EINVAL && errno != ENOSYS)
        return -1;
      closeRelay();
    }
#endif
    return readRetrying(fd_, to, room);
  }

private:
  static constexpr int PipeSize = 1 << 20;

  // The moved bytes all wait in the relay, which nothing else writes.
  ssize_t copyFromRelay(char *to, size_t moved) {
    for (size_t copied = 0; copied < moved;) {
      ssize_t got = readRetrying(relay_[0], to + copied, moved - copied);
      if (got <= 0)
        return -1;
      copied += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(moved);
  }
  void closeRelay() {
    for (int &end : relay_) {
      if (end >= 0)
        ::close(end);
      end = -1;
    }
  }

  int fd_;
  int relay_[2] = {-1, -1};
};

OwnedFileBufferOrError growFailed() {
  // Like any container that cannot grow: the allocator's out-of-memory
  // handler, when the program installed one, ends the process.
  if (std::new_handler handler = std::get_new_handler())
    handler();
  return outOfMemory();
}

// Reserves `size` bytes (whole pages) starting on a large-page boundary, so
// that the kernel can back all of them with large pages. False when refused.
bool reserveAligned(StreamMapping &mapping, size_t size) {
  size_t total = size + largePageSize;
  if (total < size)
    return false;
  void *raw = ::mmap(nullptr, total, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (raw == MAP_FAILED)
    return false;
  uintptr_t base = reinterpret_cast<uintptr_t>(raw);
  uintptr_t aligned = (base + largePageSize - 1) & ~(largePageSize - 1);
  if (aligned != base)
    ::munmap(raw, aligned - base);
  if (size_t tail = base + total - (aligned + size))
    ::munmap(reinterpret_cast<void *>(aligned + size), tail);
  mapping.mem = reinterpret_cast<char *>(aligned);
  mapping.size = size;
  adviseLargePages(mapping.mem, size);
  return true;
}

// Reads a pipe or terminal into an address range reserved once, far larger
// than most inputs: a block that grows by moving cannot keep large pages, and
// filling 4 KiB pages one fault at a time cost more than reading the bytes.
// Sets `refused` (and answers nothing) when no such range can be had.
OwnedFileBufferOrError readIntoReservation(int fd, mode_t mode, TextRef name, bool &refused) {
  const size_t page = systemPageSize();
  StreamMapping mapping;
  refused = !reserveAligned(mapping, std::max(page, (streamReservation + page - 1) & ~(page - 1)));
  if (refused)
    return outOfMemory();
  StreamReader reader(fd, mode);
  size_t used = 0;
  for (;;) {
    // One byte always stays free for the NUL.
    if (used + 1 == mapping.size) {
      size_t grown = mapping.size * 2;
      void *moved = grown < mapping.size
                        ? MAP_FAILED
                        : ::mremap(mapping.mem, mapping.size, grown, MREMAP_MAYMOVE);
      if (moved == MAP_FAILED)
        return growFailed();
      mapping.mem = static_cast<char *>(moved);
      mapping.size = grown;
      adviseLargePages(mapping.mem, grown);
    }
    ssize_t got = reader.read(mapping.mem + used, mapping.size - 1 - used);
    if (got < 0)
      return {nullptr, systemError(errno)};
    if (got == 0)
      break;
    used += static_cast<size_t>(got);
  }
  // Give back the untouched rest of the range.
  size_t kept = (used + 1 + page - 1) & ~(page - 1);
  if (kept < mapping.size) {
    ::munmap(mapping.mem + kept, mapping.size - kept);
    mapping.size = kept;
  }
  char *nameCopy = nullptr;
  void *mem = allocateHeader<OwnedFileBuffer>(name, nameCopy);
  if (!mem)
    return outOfMemory();
  std::unique_ptr<OwnedFileBuffer> buffer = OwnedBufferLayout::placeOverMapping(
      mem, TextRef(nameCopy, name.size()), mapping.mem, used, mapping.size);
  mapping.mem = nullptr;
  return {std::move(buffer), {}};
}

} // namespace

OwnedFileBuffer::~OwnedFileBuffer() {
  if (mappedSize_ != 0)
    ::munmap(mutableStart(), mappedSize_);
}

OwnedFileBufferOrError loadStream(int fd, TextRef name) {
  // The bytes are read straight into the place they take in the finished
  // buffer; realloc grows the block (moving pages rather than copying them
  // for large blocks), so a large input is neither zero-filled nor copied.
  // A regular file behind the descriptor (standard input redirected from a
  // file) tells how much is left, and the block starts with room for all of it
  // plus the read that finds the end. Pipes and terminals go to a reserved
  // range instead, unless the system refuses one.
  size_t header = OwnedBufferLayout::headerSize(name);
  if (header == 0)
    return outOfMemory();
  size_t expected = 0;
  struct stat status;
  if (::fstat(fd, &status) != 0)
    status.st_mode = 0;
  if (S_ISREG(status.st_mode)) {
    off_t offset = ::lseek(fd, 0, SEEK_CUR);
    if (offset >= 0 && status.st_size > offset)
      expected = static_cast<size_t>(status.st_size - offset);
  } else {
    bool refused = false;
    OwnedFileBufferOrError read = readIntoReservation(fd, status.st_mode, name, refused);
    if (!refused)
      return read;
  }
  struct Block {
    char *mem = nullptr;
    ~Block() { std::free(mem); }
  } block;
  size_t capacity = 0;
  size_t used = 0;
  for (;;) {
    if (capacity == used) {
      size_t grown = std::max({capacity * 2, used + StreamChunk, expected + 1});
      if (grown < capacity || header + grown + 1 < grown)
        return outOfMemory();
      char *mem = static_cast<char *>(std::realloc(block.mem, header + grown + 1));
      if (!mem)
        return growFailed();
      block.mem = mem;
      capacity = grown;
      // Only for a block of the known final size: a block that still grows
      // moves, and large pages then cost more than they save.
      if (expected != 0)
        adviseLargePages(mem, header + grown + 1);
    }
    ssize_t got = readRetrying(fd, block.mem + header + used, capacity - used);
    if (got < 0)
      return {nullptr, systemError(errno)};
    if (got == 0)
      break;
    used += static_cast<size_t>(got);
  }
  // Give back the unused room; keeping the larger block is harmless.
  if (char *fitted = static_cast<char *>(std::realloc(block.mem, header + used + 1)))
    block.mem = fitted;
  void *mem = block.mem;
  block.mem = nullptr;
  return {OwnedBufferLayout::place(mem, header, used, name), {}};
}

FileBufferOrError loadFileOrInput(TextRef name, bool /*textMode*/, bool requiresNul,
                                  bool mayChange) {
  if (name == "-")
    return loadStream(STDIN_FILENO, "<stdin>");
  return openAndRead<FileBuffer>(name, [&](int fd, size_t size) {
    return mapWhenItPays(fd, size, name, requiresNul, mayChange);
  });
}

OwnedFileBufferOrError readFileOrInput(TextRef name) {
  if (name == "-")
    return loadStream(STDIN_FILENO, "<stdin>");
  return openAndRead<OwnedFileBuffer>(
      name, [](int, size_t) { return std::unique_ptr<OwnedFileBuffer>(); });
}

} // namespace ostrel
