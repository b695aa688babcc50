#include "support/diag/OutputStream.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

// Sets the process-wide colour preference for one test and restores it.
class PreferenceGuard {
public:
  explicit PreferenceGuard(int32_t value) : saved_(colourPreference) { colourPreference = value; }
  ~PreferenceGuard() { colourPreference = saved_; }

private:
  int32_t saved_;
};

// Sets or unsets TERM for one test and restores it.
class TermGuard {
public:
  explicit TermGuard(const char *value) {
    if (const char *old = std::getenv("TERM"))
      saved_ = old;
    set(value);
  }
  ~TermGuard() { set(saved_ ? saved_->c_str() : nullptr); }

private:
  static void set(const char *value) {
    if (value)
      ::setenv("TERM", value, 1);
    else
      ::unsetenv("TERM");
  }
  std::optional<std::string> saved_;
};

// Opens a pipe whose ends lie above the standard descriptors, so that a
// stream on its write end closes it even when the tests run with standard
// input or output closed.
void openPipe(int fds[2]) {
  ASSERT_EQ(::pipe(fds), 0);
  for (int i = 0; i < 2; ++i) {
    if (fds[i] > 2)
      continue;
    int moved = ::fcntl(fds[i], F_DUPFD_CLOEXEC, 3);
    ASSERT_GE(moved, 3);
    ::close(fds[i]);
    fds[i] = moved;
  }
}

std::string colourText(TextColour colour, bool bold, bool background) {
  std::string out;
  StringOutputStream os(out);
  os.allowColours(true);
  os.setColour(colour, bold, background);
  return out;
}

TEST(OutputStreamTest, ColourEscapes) {
  EXPECT_EQ(colourText(TextColour::Red, false, false), "\x1b[0;31m");
  EXPECT_EQ(colourText(TextColour::Green, true, false), "\x1b[0;1;32m");
  EXPECT_EQ(colourText(TextColour::Blue, false, true), "\x1b[0;44m");
  EXPECT_EQ(colourText(TextColour::White, true, true), "\x1b[0;1;47m");
  EXPECT_EQ(colourText(TextColour::KeepColour, false, false), "\x1b[1m");
  EXPECT_EQ(colourText(TextColour::KeepColour, true, true), "\x1b[1m");
  EXPECT_EQ(colourText(static_cast<TextColour>(9), false, false), "\x1b[0;31m");

  std::string out;
  StringOutputStream os(out);
  os.setColour(TextColour::Red).clearColour().invertColours();
  EXPECT_EQ(out, "") << "string streams write no escapes until allowed";
  os.allowColours(true);
  os.clearColour().invertColours();
  EXPECT_EQ(out, "\x1b[0m\x1b[7m");
}

TEST(OutputStreamTest, ScopesFollowPolicyAndPreference) {
  std::string out;
  StringOutputStream os(out);
  os.allowColours(true);
  {
    PreferenceGuard unset(ColourPreferenceUnset);
    { ColourScope scope(os, TextColour::Red, true, false, ColourPolicy::Auto); }
    EXPECT_EQ(out, "") << "a string stream is no terminal";
    { ColourScope scope(os, TextColour::KeepColour, false, false, ColourPolicy::Enable); }
    EXPECT_EQ(out, "\x1b[1m\x1b[0m");
  }
  out.clear();
  {
    PreferenceGuard yes(ColourPreferenceTrue);
    { ColourScope scope(os, TextColour::Red, true); }
    EXPECT_EQ(out, "\x1b[0;1;31m\x1b[0m");
    out.clear();
    { ColourScope scope(os, TextColour::Red, true, false, ColourPolicy::Disable); }
    EXPECT_EQ(out, "");
  }
  {
    PreferenceGuard no(ColourPreferenceFalse);
    { ColourScope scope(os, TextColour::Red, true, false, ColourPolicy::Enable); }
    EXPECT_EQ(out, "\x1b[0;1;31m\x1b[0m");
  }
}

TEST(OutputStreamTest, SeverityLabels) {
  PreferenceGuard yes(ColourPreferenceTrue);
  std::string out;
  StringOutputStream os(out);
  os.allowColours(true);
  errorLabel(os, "x");
  EXPECT_EQ(out, "x: \x1b[0;1;31merror: \x1b[0m");
  out.clear();
  warningLabel(os);
  noteLabel(os);
  remarkLabel(os);
  EXPECT_EQ(out, "\x1b[0;1;35mwarning: \x1b[0m\x1b[0;1;30mnote: \x1b[0m\x1b[0;1;34mremark: \x1b[0m");
  out.clear();
  errorLabel(os, "", true);
  EXPECT_EQ(out, "error: ");
}

TEST(OutputStreamTest, Numbers) {
  std::string out;
  StringOutputStream os(out);
  os << INT64_MIN << ' ' << INT64_MAX << ' ' << UINT64_MAX << ' ' << 0 << ' ' << -7;
  EXPECT_EQ(out, "-9223372036854775808 9223372036854775807 18446744073709551615 0 -7");

  struct HexCase {
    uint64_t value;
    HexLayout layout;
    std::optional<size_t> width;
    const char *expected;
  };
  const HexCase hexCases[] = {
      {0, HexLayout::PrefixedUpper, std::nullopt, "0x0"},
      {171, HexLayout::PrefixedLower, 6, "0x00ab"},
      {171, HexLayout::Upper, 6, "0000AB"},
      {171, HexLayout::Lower, 1, "ab"},
      {0xDEADBEEF, HexLayout::PrefixedUpper, 3, "0xDEADBEEF"},
      {UINT64_MAX, HexLayout::Lower, std::nullopt, "ffffffffffffffff"},
  };
  for (const HexCase &c : hexCases) {
    out.clear();
    os.writeHexNumber(c.value, c.layout, c.width);
    EXPECT_EQ(out, c.expected);
  }
  out.clear();
  os.writeHexNumber(1, HexLayout::Lower, 500);
  EXPECT_EQ(out.size(), 128u) << "widths are capped at 128";

  out.clear();
  os.writeNumberField(-42, 6).put('|').writeNumberField(255, 6, true, true, true).put('|');
  os.writeNumberField(12345, 2);
  EXPECT_EQ(out, "   -42|0x00FF|12345");
}

TEST(OutputStreamTest, FieldsAndEscapes) {
  struct JustifyCase {
    Justification how;
    size_t width;
    const char *expected;
  };
  const JustifyCase cases[] = {
      {Justification::Centre, 8, "  abc   "}, {Justification::Left, 5, "abc  "},
      {Justification::Right, 5, "  abc"},     {Justification::None, 8, "abc"},
      {Justification::Right, 2, "abc"},
  };
  std::string out;
  StringOutputStream os(out);
  for (const JustifyCase &c : cases) {
    out.clear();
    os.writeJustified("abc", c.width, c.how);
    EXPECT_EQ(out, c.expected);
  }
  out.clear();
  os.indent(200);
  EXPECT_EQ(out, std::string(200, ' '));

  const char raw[] = "a\\b\t\"\n\x01\x7f\xff~";
  out.clear();
  os.writeWithEscapes(TextRef(raw, sizeof raw - 1));
  EXPECT_EQ(out, "a\\\\b\\t\\\"\\n\\001\\177\\377~");
  out.clear();
  os.writeWithEscapes(TextRef(raw, sizeof raw - 1), true);
  EXPECT_EQ(out, "a\\\\b\\t\\\"\\n\\x01\\x7F\\xFF~");
}

TEST(OutputStreamTest, Placeholders) {
  struct Case {
    const char *pattern;
    const char *expected;
  };
  const Case cases[] = {
      {"plain", "plain"},
      {"{0} and {1}", "text and 42"},
      {"{{", "{"},
      {"{{{{x", "{{x"},
      {"{{{0}", "{text"},
      {"[{5}]", "[5]"},
      {"[{ 1 , -6 }]", "[42    ]"},
      {"[{1,*=7}]", "[**42***]"},
      {"[{0,8}]", "[    text]"},
      {"[{0:2}]", "[te]"},
      {"[{1:x}|{1:X-4}|{1:x+4}|{2:N}|{1:D5}|{3}]", "[0x2a|002A|0x002a|1,234,567|00042|-3]"},
      {"[{abc}]", "[]"},
      {"[{0", "[{0"},
      {"[{0{1}]", "[{042]"},
      {"{0x1}", "42"},
      // Indexes read in the base their prefix selects; widths are decimal.
      {"{0o1}|{0b11}|{010}|{0x}", "42|-3|010|"},
      {"[{1,010}]", "[        42]"},
  };
  for (const Case &c : cases) {
    std::string out;
    StringOutputStream os(out);
    formatPlaceholders(os, c.pattern, {"text", 42, 1234567u, -3});
    EXPECT_EQ(out, c.expected) << "pattern " << c.pattern;
  }
}

TEST(OutputStreamTest, PlaceholderTextLimitIsNotCappedByPaddingBounds) {
  std::string text(3 << 20, 'q');
  std::string out;
  StringOutputStream os(out);
  formatPlaceholders(os, "{0:4000000}|{0:99999999999999999999999}", {text});
  EXPECT_EQ(out, text + "|" + text);
}

TEST(OutputStreamTest, BufferedFileStreamKeepsOrderAcrossSizes) {
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
    FileOutputStream os(fds[1], true);
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

TEST(OutputStreamTest, WritesToRegularFileKeepItsOffsetAndNoColour) {
  char path[] = "/tmp/outputstream-test-XXXXXX";
  int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "head", 4), 4);
  {
    PreferenceGuard unset(ColourPreferenceUnset);
    FileOutputStream os(fd, false);
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

TEST(OutputStreamTest, TerminalColourCapability) {
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
    TermGuard term(c.term);
    FileOutputStream os(slave, false);
    EXPECT_TRUE(os.isTerminal());
    EXPECT_EQ(os.supportsColours(), c.colours);
    PreferenceGuard unset(ColourPreferenceUnset);
    EXPECT_EQ(coloursWanted(os, ColourPolicy::Auto), c.colours);
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

bool brokenPipeSeen = false;

TEST(OutputStreamTest, BrokenPipeCallsHookThenRecordsError) {
  auto previous = ::signal(SIGPIPE, SIG_IGN);
  for (bool withHook : {false, true}) {
    int fds[2];
    ASSERT_NO_FATAL_FAILURE(openPipe(fds));
    ::close(fds[0]);
    brokenPipeSeen = false;
    setBrokenPipeHook(withHook ? +[] { brokenPipeSeen = true; } : nullptr);
    FileOutputStream os(fds[1], true, true);
    os << "nobody reads this";
    EXPECT_EQ(brokenPipeSeen, withHook);
    EXPECT_EQ(os.error(), std::errc::broken_pipe);
    os.clearError();
  }
  setBrokenPipeHook(nullptr);
  ::signal(SIGPIPE, previous);
}

TEST(OutputStreamDeathTest, WriteErrorEndsProcessAtDestruction) {
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
          FileOutputStream os(::open("/dev/full", O_WRONLY), true, true);
          os << "lost";
        }
        std::exit(0);
      },
      testing::ExitedWithCode(1), "IO failure on output stream: No space left on device");
}

} // namespace
