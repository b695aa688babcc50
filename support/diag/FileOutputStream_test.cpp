#include "support/diag/FileOutputStream.h"

#include "support/diag/ColourTestSupport.h"
#include "support/diag/SeverityLabel.h"
#include "support/fs/PipeTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace ostrel {

namespace {

TEST(FileOutputStreamTest, BufferedWritesKeepOrderAcrossSizes) {
  int fds[2];
  ASSERT_NO_FATAL_FAILURE(openPipe(fds));
  std::string got;
  std::thread reader([&] {
    char chunk[4096];
    ssize_t n;
    while ((n = ::read(fds[0], chunk, sizeof chunk)) > 0)
      got.append(chunk, static_cast<size_t>(n));
  });
  std::string expected;
  {
    FileOutputStream os(fds[1], {.closeOnDestruction = true});
    EXPECT_FALSE(os.isSeekable());
    EXPECT_FALSE(os.isRegularFile());
    // Small pieces, pieces straddling the buffer end, one much larger than
    // the buffer, and single characters.
    std::string large(70000, 'L');
    for (int i = 0; i < 1000; ++i) {
      std::string piece = "piece" + std::to_string(i) + ";";
      os << piece;
      expected += piece;
    }
    os << large;
    expected += large;
    for (char c : std::string("tail")) {
      os.put(c);
      expected += c;
    }
    EXPECT_EQ(os.tell(), expected.size());
    os.flush();
    os << "after"; // left for the destructor to flush
    expected += "after";
  }
  reader.join(); // ends once the destructor closed the descriptor
  ::close(fds[0]);
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected);
}

TEST(FileOutputStreamTest, WritesToRegularFileKeepItsOffsetAndNoColour) {
  char path[] = "/tmp/outputstream-test-XXXXXX";
  int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "head", 4), 4);
  {
    PreferenceGuard unset(ColourPreferenceUnset);
    FileOutputStream os(fd);
    EXPECT_TRUE(os.isSeekable());
    EXPECT_TRUE(os.isRegularFile());
    EXPECT_FALSE(os.isTerminal());
    EXPECT_EQ(os.tell(), 4u);
    errorLabel(os) << "message\n";
    {
      PreferenceGuard yes(ColourPreferenceTrue);
      noteLabel(os);
    }
  }
  std::string contents(100, '\0');
  ssize_t n = ::pread(fd, contents.data(), contents.size(), 0);
  contents.resize(n > 0 ? static_cast<size_t>(n) : 0);
  EXPECT_EQ(contents, "headerror: message\n\x1b[0;1;30mnote: \x1b[0m");
  ::close(fd);
  ::unlink(path);
}

TEST(FileOutputStreamTest, OpensPathsForWriting) {
  char folder[] = "/tmp/outputstream-test-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  std::string path = std::string(folder) + "/out.txt";
  std::error_code error;
  for (const char *text : {"first, longer text\n", "second\n"}) {
    FileOutputStream os(path, error);
    ASSERT_FALSE(error);
    os << text;
  }
  std::string contents(100, '\0');
  int fd = ::open(path.c_str(), O_RDONLY);
  ssize_t n = ::read(fd, contents.data(), contents.size());
  ::close(fd);
  contents.resize(n > 0 ? static_cast<size_t>(n) : 0);
  EXPECT_EQ(contents, "second\n") << "an existing file is truncated";
  ::unlink(path.c_str());

  FileOutputStream missing(std::string(folder) + "/no/such/folder", error);
  EXPECT_EQ(error, std::errc::no_such_file_or_directory);
  ::rmdir(folder);
}

TEST(FileOutputStreamTest, TerminalColourCapability) {
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0)
    GTEST_SKIP() << "no pseudo-terminals available";
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);

  struct Case {
    const char *term;
    bool colours;
  };
  const Case cases[] = {
      {nullptr, false},           // no description to ask
      {"no-such-terminal", false},
      {"xterm-256color", true},   // colour count 256
      {"dumb", false},            // no count; the name does not suggest colours
      {"vt100", true},            // no count; the name does
      {"vt220", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.term ? c.term : "(unset)");
    EnvironmentGuard term("TERM", c.term);
    FileOutputStream os(slave);
    EXPECT_TRUE(os.isTerminal());
    EXPECT_EQ(os.supportsColours(), c.colours);
    PreferenceGuard unset(ColourPreferenceUnset);
    {
      EnvironmentGuard noColor("NO_COLOR", nullptr);
      EXPECT_EQ(coloursWanted(os, ColourPolicy::Auto), c.colours);
    }
    {
      EnvironmentGuard noColor("NO_COLOR", "1");
      EXPECT_FALSE(coloursWanted(os, ColourPolicy::Auto));
      EXPECT_EQ(os.supportsColours(), c.colours) << "the terminal itself is unchanged";
    }
    PreferenceGuard no(ColourPreferenceFalse);
    EXPECT_FALSE(coloursWanted(os, ColourPolicy::Auto));
  }
  ::close(slave);
  ::close(master);

  const char *names[] = {"ansi", "cygwin", "linux", "screen.x", "xterm-new", "rxvt-unicode",
                         "vt100-am", "mycolor"};
  for (const char *name : names)
    EXPECT_TRUE(termNameSuggestsColours(name)) << name;
  const char *others[] = {"ansi2", "Linux", "dumb", "colors", "", nullptr};
  for (const char *name : others)
    EXPECT_FALSE(termNameSuggestsColours(name)) << (name ? name : "(null)");
}

void reportHookCall() {
  const char text[] = "hook\n";
  ssize_t ignored = ::write(2, text, sizeof text - 1);
  (void)ignored;
}

TEST(FileOutputStreamDeathTest, BrokenPipeCallsHookThenEndsAtDestruction) {
  for (bool withHook : {false, true}) {
    EXPECT_EXIT(
        {
          ::signal(SIGPIPE, SIG_IGN);
          int fds[2];
          if (::pipe(fds) != 0)
            std::exit(2);
          ::close(fds[0]);
          if (withHook)
            setBrokenPipeHook(reportHookCall);
          {
            FileOutputStream os(fds[1], {.closeOnDestruction = true, .unbuffered = true});
            os << "nobody reads this";
          }
          std::exit(0);
        },
        testing::ExitedWithCode(1),
        withHook ? "^hook\nVARNIX ERROR: IO failure on output stream: Broken pipe\n$"
                 : "^VARNIX ERROR: IO failure on output stream: Broken pipe\n$");
  }
}

TEST(FileOutputStreamDeathTest, WriteErrorEndsProcessAtDestruction) {
  EXPECT_EXIT(
      {
        int fd = ::open("/dev/full", O_WRONLY);
        ::dup2(fd, 1);
        standardOutput() << "this cannot be stored\n";
        std::exit(0);
      },
      testing::ExitedWithCode(1),
      "^VARNIX ERROR: IO failure on output stream: No space left on device\n$");
  EXPECT_EXIT(
      {
        {
          FileOutputStream os(::open("/dev/full", O_WRONLY),
                             {.closeOnDestruction = true, .unbuffered = true});
          os << "lost";
        }
        std::exit(0);
      },
      testing::ExitedWithCode(1), "IO failure on output stream: No space left on device");
}

} // namespace

} // namespace ostrel
