#include "support/fs/FileBuffer.h"
#include "support/fs/LargePages.h"
#include "support/fs/PipeTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <new>
#include <csignal>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace ostrel {

namespace {

// A scratch directory removed with everything in it at the end of a test.
class ScratchDir {
public:
  ScratchDir() {
    char pattern[] = "/tmp/filebuffer-test-XXXXXX";
    path_ = ::mkdtemp(pattern);
  }
  ~ScratchDir() {
    std::string command = "rm -rf '" + path_ + "'";
    int ignored = std::system(command.c_str());
    (void)ignored;
  }
  std::string file(const std::string &name, const std::string &contents) const {
    std::string full = path_ + "/" + name;
    int fd = ::open(full.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::write(fd, contents.data(), contents.size()),
              static_cast<ssize_t>(contents.size()));
    ::close(fd);
    return full;
  }
  const std::string &path() const { return path_; }

private:
  std::string path_;
};

// Deterministic, NUL-free contents of a given size.
std::string contentsOfSize(size_t size) {
  std::string s(size, 'x');
  for (size_t i = 0; i < size; ++i)
    s[i] = static_cast<char>('a' + (i * 7 + i / 13) % 26);
  if (size > 0)
    s[size - 1] = '\n';
  return s;
}

void expectNulTerminated(const FileBuffer &buffer) {
  EXPECT_EQ(*buffer.bufferEnd(), '\0');
}

TEST(FileBufferTest, MappingFollowsSizeThresholdsAndNulRule) {
  ASSERT_EQ(systemPageSize(), 4096u) << "thresholds below assume 4096-byte pages";
  struct Case {
    size_t size;
    bool requiresNul;
    bool mayChange;
    BufferKind expected;
  };
  const Case cases[] = {
      {0, true, false, BufferKind::Memory},
      {4097, false, false, BufferKind::Memory},  // below 16384
      {16383, false, false, BufferKind::Memory},
      {16384, true, false, BufferKind::Memory},  // page multiple: no room for the NUL
      {16384, false, false, BufferKind::Mapped}, // no NUL needed
      {16385, true, false, BufferKind::Mapped},
      {20480, true, false, BufferKind::Memory},
      {20481, true, false, BufferKind::Mapped},
      {16385, true, true, BufferKind::Memory},   // may change while read
      {16385, false, true, BufferKind::Mapped},
  };
  ScratchDir dir;
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "size " << c.size << " nul " << c.requiresNul
                                    << " mayChange " << c.mayChange);
    std::string contents = contentsOfSize(c.size);
    std::string path = dir.file("f" + std::to_string(c.size), contents);
    FileBufferOrError result = loadFileOrInput(path, true, c.requiresNul, c.mayChange);
    ASSERT_TRUE(result) << result.error.message();
    EXPECT_EQ(result.buffer->bufferKind(), c.expected);
    EXPECT_EQ(result.buffer->text(), contents);
    EXPECT_EQ(result.buffer->bufferName(), path);
    if (c.requiresNul)
      expectNulTerminated(*result.buffer);
    result.buffer->releasePages();
    EXPECT_EQ(result.buffer->text(), contents);
  }
}

TEST(FileBufferTest, FailuresComeBackAsSystemCodes) {
  ScratchDir dir;
  FileBufferOrError missing = loadFileOrInput(dir.path() + "/no-such-file");
  EXPECT_FALSE(missing);
  EXPECT_EQ(missing.error, std::errc::no_such_file_or_directory);
  EXPECT_EQ(missing.error.message(), "No such file or directory");

  // A directory opens, is not a regular file, and fails when read as a stream.
  FileBufferOrError directory = loadFileOrInput(dir.path());
  EXPECT_FALSE(directory);
  EXPECT_EQ(directory.error, std::errc::is_a_directory);
}

TEST(FileBufferDeathTest, UnreadableFileReportsPermissionDenied) {
  ScratchDir dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  std::string path = dir.file("secret", "hidden\n");
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  // Root reads everything, so the check runs in a child that gives up root
  // when it has it; the child's exit status carries the verdict.
  EXPECT_EXIT(
      {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
          ::_exit(2);
        FileBufferOrError result = loadFileOrInput(path);
        ::_exit(!result && result.error == std::errc::permission_denied ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(FileBufferTest, StandardInputPipeIsReadAsStreamNamedStdin) {
  // More than several read steps, so the growable store is exercised; a
  // reservation of one page makes the store grow past it several times.
  const size_t defaultReservation = streamReservation;
  for (size_t reservation : {defaultReservation, systemPageSize()}) {
    SCOPED_TRACE(reservation);
    streamReservation = reservation;
    std::string contents = contentsOfSize(100000);
    int fds[2];
    ASSERT_NO_FATAL_FAILURE(openPipe(fds));
    int savedStdin = ::dup(0);
    ASSERT_EQ(::dup2(fds[0], 0), 0);
    ::close(fds[0]);
    std::thread writer([&] {
      size_t done = 0;
      while (done < contents.size()) {
        ssize_t n = ::write(fds[1], contents.data() + done, contents.size() - done);
        if (n <= 0)
          break;
        done += static_cast<size_t>(n);
      }
      ::close(fds[1]);
    });
    FileBufferOrError result = loadFileOrInput("-");
    streamReservation = defaultReservation;
    writer.join();
    ::dup2(savedStdin, 0);
    ::close(savedStdin);

    ASSERT_TRUE(result) << result.error.message();
    EXPECT_EQ(result.buffer->bufferName(), "<stdin>");
    EXPECT_EQ(result.buffer->bufferKind(), BufferKind::Memory);
    EXPECT_EQ(result.buffer->text(), contents);
    expectNulTerminated(*result.buffer);
  }
}

TEST(FileBufferTest, NamedPipeAndCharacterDeviceAreReadAsStreams) {
  ScratchDir dir;
  std::string fifo = dir.path() + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string contents = contentsOfSize(40000);
  std::thread writer([&] {
    int fd = ::open(fifo.c_str(), O_WRONLY);
    size_t done = 0;
    while (fd >= 0 && done < contents.size()) {
      ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
      if (n <= 0)
        break;
      done += static_cast<size_t>(n);
    }
    ::close(fd);
  });
  FileBufferOrError fromFifo = loadFileOrInput(fifo);
  writer.join();
  ASSERT_TRUE(fromFifo) << fromFifo.error.message();
  EXPECT_EQ(fromFifo.buffer->bufferName(), fifo);
  EXPECT_EQ(fromFifo.buffer->bufferKind(), BufferKind::Memory);
  EXPECT_EQ(fromFifo.buffer->text(), contents);

  FileBufferOrError devNull = loadFileOrInput("/dev/null");
  ASSERT_TRUE(devNull);
  EXPECT_EQ(devNull.buffer->bufferSize(), 0u);
  expectNulTerminated(*devNull.buffer);
}

// Writes `contents` to `fd` in pieces with a pause after each, so that the
// reader waits on an empty pipe again and again, then closes `fd`.
void writeInPieces(int fd, const std::string &contents, size_t piece) {
  for (size_t done = 0; done < contents.size();) {
    ssize_t n = ::write(fd, contents.data() + done, std::min(piece, contents.size() - done));
    if (n <= 0)
      break;
    done += static_cast<size_t>(n);
    ::usleep(3000);
  }
  ::close(fd);
}

TEST(FileBufferTest, SignalsDoNotCutAPipeReadShort) {
  // Without SA_RESTART a signal ends a wait for input with EINTR; the wait
  // must resume. Only the reading thread may take the timer's signals.
  struct sigaction ignore = {}, previous = {};
  ignore.sa_handler = [](int) {};
  ASSERT_EQ(::sigaction(SIGALRM, &ignore, &previous), 0);
  int fds[2];
  ASSERT_NO_FATAL_FAILURE(openPipe(fds));
  std::string contents = contentsOfSize(300000);
  std::thread writer([&] {
    sigset_t alarm;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &alarm, nullptr);
    writeInPieces(fds[1], contents, 70000);
  });
  struct itimerval every = {{0, 500}, {0, 500}}, stop = {};
  ::setitimer(ITIMER_REAL, &every, nullptr);
  OwnedFileBufferOrError result = loadStream(fds[0], "pipe");
  ::setitimer(ITIMER_REAL, &stop, nullptr);
  writer.join();
  ::sigaction(SIGALRM, &previous, nullptr);
  ::close(fds[0]);
  ASSERT_TRUE(result) << result.error.message();
  EXPECT_EQ(result.buffer->text(), contents);
  expectNulTerminated(*result.buffer);
}

// The sanitizers' own checks need descriptors, and report errors without them.
#if !defined(__SANITIZE_ADDRESS__)
// Reads a filled pipe with every other descriptor taken: the exit status is
// 0 when the bytes come back whole.
[[noreturn]] void readPipeWithoutSpareDescriptors() {
  int fds[2];
  std::string contents = contentsOfSize(30000);
  struct rlimit limit = {64, 64};
  if (::pipe(fds) != 0 || fds[0] >= 64 ||
      ::write(fds[1], contents.data(), contents.size()) != static_cast<ssize_t>(contents.size()))
    ::_exit(9);
  ::close(fds[1]);
  if (::setrlimit(RLIMIT_NOFILE, &limit) != 0)
    ::_exit(9);
  while (::open("/dev/null", O_RDONLY) >= 0) {
  }
  OwnedFileBufferOrError result = loadStream(fds[0], "pipe");
  ::_exit(result && result.buffer->text() == contents ? 0 : 1);
}

TEST(FileBufferDeathTest, PipeIsReadDirectlyWhenNoDescriptorIsLeft) {
  // A pipe is read through a second pipe of the reader's own; without a
  // descriptor for it, the reader reads the input pipe itself.
  EXPECT_EXIT(readPipeWithoutSpareDescriptors(), testing::ExitedWithCode(0), "");
}
#endif

// Reads a file with plain reads, as a reference for what it yields.
std::string readWithReads(const char *path) {
  std::string contents;
  int fd = ::open(path, O_RDONLY);
  if (fd < 0)
    return contents;
  char chunk[256];
  ssize_t n;
  while ((n = ::read(fd, chunk, sizeof chunk)) > 0)
    contents.append(chunk, static_cast<size_t>(n));
  ::close(fd);
  return contents;
}

// The two readers of named files, for behaviour they share.
using Loader = FileBufferOrError (*)(const std::string &);
const Loader bothLoaders[] = {
    [](const std::string &path) { return loadFileOrInput(path); },
    [](const std::string &path) { return FileBufferOrError(readFileOrInput(path)); },
};

TEST(FileBufferTest, FileShorterThanItsReportedSizeGivesTheBytesItYields) {
  // Kernel attribute files report a whole page as their size but yield only a
  // few bytes; nothing is added to them.
  const char *candidates[] = {"/sys/kernel/profiling", "/sys/power/state",
                              "/sys/kernel/mm/transparent_hugepage/enabled"};
  for (const char *path : candidates) {
    struct stat status;
    if (::stat(path, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size == 0)
      continue;
    std::string actual = readWithReads(path);
    if (actual.empty() || actual.size() >= static_cast<size_t>(status.st_size))
      continue;
    for (Loader load : bothLoaders) {
      FileBufferOrError result = load(path);
      ASSERT_TRUE(result) << result.error.message();
      EXPECT_EQ(result.buffer->text(), actual);
      expectNulTerminated(*result.buffer);
    }
    return;
  }
  GTEST_SKIP() << "no file here reports more bytes than it yields";
}

TEST(FileBufferTest, FileThatReportsNoSizeIsReadToItsEnd) {
  // Files under /proc report size 0 and have contents all the same.
  for (const char *path : {"/proc/version", "/proc/self/cmdline"}) {
    SCOPED_TRACE(path);
    struct stat status;
    ASSERT_EQ(::stat(path, &status), 0);
    ASSERT_EQ(status.st_size, 0);
    std::string expected = readWithReads(path);
    ASSERT_FALSE(expected.empty());
    for (Loader load : bothLoaders) {
      FileBufferOrError result = load(path);
      ASSERT_TRUE(result) << result.error.message();
      EXPECT_EQ(result.buffer->text(), expected);
      EXPECT_EQ(result.buffer->bufferName(), path);
      expectNulTerminated(*result.buffer);
    }
  }
}

TEST(FileBufferTest, FileThatShrinksWhileReadIsAnErrorNotInventedBytes) {
  // The hook cuts the file right after its size was taken, so every read
  // below meets the end of the file early.
  // Sizes that loadFileOrInput reads (it maps 20481 bytes) and that
  // readFileOrInput reads whatever their size.
  struct Case {
    size_t size;
    Loader load;
  };
  const Case cases[] = {{5000, bothLoaders[0]},
                        {5000, bothLoaders[1]},
                        {20481, bothLoaders[1]},
                        {200000, bothLoaders[1]}};
  ScratchDir dir;
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "size " << c.size);
    static std::string path;
    path = dir.file("shrinking", contentsOfSize(c.size));
    afterFileSizeQuery = [](int) { ASSERT_EQ(::truncate(path.c_str(), 100), 0); };
    FileBufferOrError result = c.load(path);
    afterFileSizeQuery = nullptr;
    EXPECT_FALSE(result);
    EXPECT_EQ(result.error, fileChangedSizeError());
    EXPECT_EQ(result.error.message(), "file changed size while being read");
  }
}

TEST(FileBufferTest, ReadFileOrInputNeverMapsAndTruncateKeepsThePrefix) {
  ScratchDir dir;
  std::string contents = contentsOfSize(20481); // loadFileOrInput maps this size
  std::string path = dir.file("big", contents);
  OwnedFileBufferOrError result = readFileOrInput(path);
  ASSERT_TRUE(result) << result.error.message();
  EXPECT_EQ(result.buffer->bufferKind(), BufferKind::Memory);
  EXPECT_EQ(result.buffer->text(), contents);
  expectNulTerminated(*result.buffer);
  result.buffer->truncate(30000);
  EXPECT_EQ(result.buffer->bufferSize(), contents.size());
  result.buffer->truncate(7);
  EXPECT_EQ(result.buffer->text(), contents.substr(0, 7));
  expectNulTerminated(*result.buffer);
}

TEST(FileBufferTest, StandardInputFromAFileIsReadFromItsCurrentOffset) {
  ScratchDir dir;
  std::string contents = contentsOfSize(70000);
  std::string path = dir.file("stdin", contents);
  int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::lseek(fd, 10, SEEK_SET), 10);
  int savedStdin = ::dup(0);
  ASSERT_EQ(::dup2(fd, 0), 0);
  ::close(fd);
  OwnedFileBufferOrError result = readFileOrInput("-");
  ::dup2(savedStdin, 0);
  ::close(savedStdin);
  ASSERT_TRUE(result) << result.error.message();
  EXPECT_EQ(result.buffer->bufferName(), "<stdin>");
  EXPECT_EQ(result.buffer->text(), TextRef(contents).substr(10));
  expectNulTerminated(*result.buffer);
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(FileBufferDeathTest, StreamThatOutgrowsMemoryReachesTheOutOfMemoryHandler) {
  // /dev/zero never ends; with the address space limited, the store's growth
  // fails after a few megabytes. The default reservation is refused under the
  // limit and a small one is granted but cannot grow: both stores are reached.
  const size_t defaultReservation = streamReservation;
  for (size_t reservation : {defaultReservation, size_t(1) << 20}) {
    SCOPED_TRACE(reservation);
    auto limitMemory = [reservation] {
      streamReservation = reservation;
      struct rlimit limit = {256u << 20, 256u << 20};
      if (::setrlimit(RLIMIT_AS, &limit) != 0)
        ::_exit(9);
    };
    EXPECT_EXIT(
        {
          limitMemory();
          FileBufferOrError result = loadFileOrInput("/dev/zero");
          ::_exit(!result && result.error == std::errc::not_enough_memory ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
          limitMemory();
          std::set_new_handler([] { ::_exit(3); });
          FileBufferOrError result = loadFileOrInput("/dev/zero");
          ::_exit(result ? 1 : 2);
        },
        testing::ExitedWithCode(3), "");
  }
}
#endif

TEST(FileBufferTest, TextBuffersKeepNameBytesAndNul) {
  std::string source = "line one\nline two";
  FileBufferPtr copy = copyText(source, "command line");
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->bufferName(), "command line");
  EXPECT_EQ(copy->text(), source);
  EXPECT_NE(copy->bufferStart(), source.data());
  EXPECT_EQ(reinterpret_cast<uintptr_t>(copy->bufferStart()) % 16, 0u);
  expectNulTerminated(*copy);
  source[0] = 'X'; // the copy does not follow its source
  EXPECT_EQ(copy->text()[0], 'l');

  FileBufferPtr view = viewText(source, "Global defines");
  ASSERT_TRUE(view);
  EXPECT_EQ(view->bufferName(), "Global defines");
  EXPECT_EQ(view->bufferStart(), source.data());
  EXPECT_EQ(view->bufferSize(), source.size());
  EXPECT_EQ(view->bufferKind(), BufferKind::Memory);

  FileBufferPtr empty = copyText(TextRef(), "");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->bufferSize(), 0u);
  EXPECT_EQ(empty->bufferName(), "");
  expectNulTerminated(*empty);
}

TEST(FileBufferTest, AllocateBufferRejectsOverflowingSizes) {
  EXPECT_EQ(allocateBuffer(SIZE_MAX, "x"), nullptr);
  EXPECT_EQ(allocateBuffer(SIZE_MAX - 8, "a longer name"), nullptr);
  std::unique_ptr<OwnedFileBuffer> fresh = allocateBuffer(5, "fresh");
  ASSERT_TRUE(fresh);
  EXPECT_EQ(fresh->bufferSize(), 5u);
  expectNulTerminated(*fresh);
}

} // namespace

} // namespace ostrel
