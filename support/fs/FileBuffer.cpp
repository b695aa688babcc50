#include "support/fs/FileBuffer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

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

FileBufferOrError outOfMemory() { return {nullptr, systemError(ENOMEM)}; }

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

FileBufferOrError readRegularFile(int fd, size_t size, TextRef name) {
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
      // The file shrank after its size was taken: keep the planned size.
      std::memset(data + done, 0, size - done);
      break;
    }
    done += static_cast<size_t>(got);
  }
  return {std::move(buffer), {}};
}

FileBufferOrError loadNamedFile(TextRef name, bool requiresNul, bool mayChange) {
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
  if (!S_ISREG(status.st_mode) && !S_ISBLK(status.st_mode))
    return loadStream(fd, name);

  size_t size = static_cast<size_t>(status.st_size);
  if (shouldMap(size, requiresNul, mayChange)) {
    void *mapping = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapping != MAP_FAILED) {
      char *nameCopy = nullptr;
      void *mem = allocateHeader<MappedFileBuffer>(name, nameCopy);
      if (!mem) {
        ::munmap(mapping, size);
        return outOfMemory();
      }
      auto *buffer = new (mem) MappedFileBuffer(mapping, size, TextRef(nameCopy, name.size()));
      return {FileBufferPtr(buffer), {}};
    }
    // A failed mapping is not an error: the file is read instead.
  }
  return readRegularFile(fd, size, name);
}

} // namespace

size_t systemPageSize() {
  static const size_t page = [] {
    long size = ::getpagesize();
    return size > 0 ? static_cast<size_t>(size) : static_cast<size_t>(4096);
  }();
  return page;
}

std::unique_ptr<OwnedFileBuffer> allocateBuffer(size_t size, TextRef name) {
  size_t header = OwnedBufferLayout::headerSize(name);
  size_t total = header + size + 1;
  if (header == 0 || total < size)
    return nullptr;
  void *mem = std::malloc(total);
  if (!mem)
    return nullptr;
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

FileBufferOrError loadStream(int fd, TextRef name) {
  // The bytes are read straight into the place they take in the finished
  // buffer; realloc grows the block (moving pages rather than copying them
  // for large blocks), so a large input is neither zero-filled nor copied.
  size_t header = OwnedBufferLayout::headerSize(name);
  if (header == 0)
    return outOfMemory();
  struct Block {
    char *mem = nullptr;
    ~Block() { std::free(mem); }
  } block;
  size_t capacity = 0;
  size_t used = 0;
  for (;;) {
    if (capacity - used < StreamChunk) {
      size_t grown = std::max(capacity * 2, used + StreamChunk);
      if (grown < capacity || header + grown + 1 < grown)
        return outOfMemory();
      char *mem = static_cast<char *>(std::realloc(block.mem, header + grown + 1));
      if (!mem) {
        // Like any container that cannot grow: the allocator's out-of-memory
        // handler, when the program installed one, ends the process.
        if (std::new_handler handler = std::get_new_handler())
          handler();
        return outOfMemory();
      }
      block.mem = mem;
      capacity = grown;
    }
    ssize_t got = ::read(fd, block.mem + header + used, StreamChunk);
    if (got < 0) {
      if (errno == EINTR)
        continue;
      return {nullptr, systemError(errno)};
    }
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
  return loadNamedFile(name, requiresNul, mayChange);
}
