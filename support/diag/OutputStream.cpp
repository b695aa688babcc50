#include "support/diag/OutputStream.h"

#include "support/diag/FatalError.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

// The terminal-description functions of terminfo, declared here rather than
// through <term.h>, whose capability macros would leak into this file.
extern "C" {
struct term;
int setupterm(const char *termName, int fd, int *errorReturn);
struct term *set_curterm(struct term *newTerm);
int del_curterm(struct term *oldTerm);
int tigetnum(const char *capName);
}

int32_t colourPreference = ColourPreferenceUnset;

namespace {

std::atomic<BrokenPipeHook> brokenPipeHook{nullptr};
std::atomic<bool> exiting{false};

void markExiting() { exiting.store(true); }

constexpr size_t MaxWritePiece = 2147483647;

const char UpperDigits[] = "0123456789ABCDEF";
const char LowerDigits[] = "0123456789abcdef";

// The terminal description library keeps global state.
std::mutex &terminfoLock() {
  static std::mutex lock;
  return lock;
}

// Asks terminfo how many colours the terminal on `fd` has: 1 yes, 0 no, -1
// unknown (no colour count in its description).
int terminfoColours(int fd) {
  std::lock_guard<std::mutex> guard(terminfoLock());
  struct term *previous = set_curterm(nullptr);
  int errorReturn = 0;
  if (setupterm(nullptr, fd, &errorReturn) != 0) {
    set_curterm(previous);
    return 0;
  }
  int colours = tigetnum("colors");
  struct term *ours = set_curterm(previous);
  del_curterm(ours);
  if (colours < 0)
    return -1;
  return colours != 0 ? 1 : 0;
}

} // namespace

bool processIsExiting() { return exiting.load(); }

void setBrokenPipeHook(BrokenPipeHook hook) { brokenPipeHook.store(hook); }

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

// ---------------------------------------------------------------------------
// OutputStream

OutputStream::~OutputStream() { delete[] bufStart_; }

void OutputStream::setUpBuffer() {
  size_t size = preferredBufferSize();
  if (size == 0) {
    unbuffered_ = true;
    return;
  }
  bufStart_ = new char[size];
  bufEnd_ = bufStart_ + size;
  cur_ = bufStart_;
}

void OutputStream::flushBuffer() {
  size_t count = bufferedCount();
  cur_ = bufStart_;
  if (count)
    writeToSink(bufStart_, count);
}

void OutputStream::flush() {
  if (cur_ != bufStart_)
    flushBuffer();
}

OutputStream &OutputStream::write(const char *data, size_t size) {
  while (size > static_cast<size_t>(bufEnd_ - cur_)) {
    if (!bufStart_) {
      if (unbuffered_) {
        writeToSink(data, size);
        return *this;
      }
      setUpBuffer();
      continue;
    }
    size_t room = static_cast<size_t>(bufEnd_ - cur_);
    if (cur_ == bufStart_) {
      // Large writes skip the buffer: whole multiples of its size go straight out.
      size_t direct = size - size % room;
      writeToSink(data, direct);
      data += direct;
      size -= direct;
      continue;
    }
    std::memcpy(cur_, data, room);
    cur_ += room;
    flushBuffer();
    data += room;
    size -= room;
  }
  if (size) {
    std::memcpy(cur_, data, size);
    cur_ += size;
  }
  return *this;
}

OutputStream &OutputStream::put(char c) {
  if (cur_ == bufEnd_) {
    if (bufStart_)
      flushBuffer();
    else if (!unbuffered_)
      setUpBuffer();
    if (!bufStart_) {
      writeToSink(&c, 1);
      return *this;
    }
  }
  *cur_++ = c;
  return *this;
}

OutputStream &OutputStream::writeDecimal(uint64_t value) {
  char digits[20];
  char *end = digits + sizeof(digits);
  char *p = end;
  do {
    *--p = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  return write(p, static_cast<size_t>(end - p));
}

OutputStream &OutputStream::writeDecimal(int64_t value) {
  if (value < 0) {
    put('-');
    return writeDecimal(static_cast<uint64_t>(0) - static_cast<uint64_t>(value));
  }
  return writeDecimal(static_cast<uint64_t>(value));
}

OutputStream &OutputStream::writeHexNumber(uint64_t value, HexLayout layout,
                                           std::optional<size_t> width) {
  bool upper = layout == HexLayout::Upper || layout == HexLayout::PrefixedUpper;
  bool prefixed = layout == HexLayout::PrefixedUpper || layout == HexLayout::PrefixedLower;
  const char *table = upper ? UpperDigits : LowerDigits;
  char digits[16];
  char *end = digits + sizeof(digits);
  char *p = end;
  do {
    *--p = table[value & 15];
    value >>= 4;
  } while (value);
  size_t digitCount = static_cast<size_t>(end - p);
  size_t natural = digitCount + (prefixed ? 2 : 0);
  size_t total = std::max(natural, std::min<size_t>(width.value_or(0), 128));
  if (prefixed)
    write("0x", 2);
  for (size_t i = natural; i < total; ++i)
    put('0');
  return write(p, digitCount);
}

OutputStream &OutputStream::writeNumberField(int64_t value, unsigned width, bool hex, bool upper,
                                             bool prefix) {
  if (hex) {
    HexLayout layout = prefix ? (upper ? HexLayout::PrefixedUpper : HexLayout::PrefixedLower)
                              : (upper ? HexLayout::Upper : HexLayout::Lower);
    return writeHexNumber(static_cast<uint64_t>(value), layout, width);
  }
  std::string text;
  StringOutputStream tmp(text);
  tmp.writeDecimal(value);
  if (text.size() < width)
    indent(width - text.size());
  return write(text);
}

OutputStream &OutputStream::writeJustified(TextRef text, size_t width, Justification how) {
  if (width <= text.size() || how == Justification::None)
    return write(text);
  size_t pad = width - text.size();
  switch (how) {
  case Justification::Left:
    write(text);
    indent(pad);
    break;
  case Justification::Right:
    indent(pad);
    write(text);
    break;
  case Justification::Centre:
    indent(pad / 2);
    write(text);
    indent(pad - pad / 2);
    break;
  case Justification::None:
    break;
  }
  return *this;
}

OutputStream &OutputStream::indent(size_t count) {
  static const char spaces[] = "                                        "
                               "                                       ";
  static_assert(sizeof(spaces) - 1 == 79);
  while (count > 0) {
    size_t piece = std::min<size_t>(count, 79);
    write(spaces, piece);
    count -= piece;
  }
  return *this;
}

OutputStream &OutputStream::writeWithEscapes(TextRef text, bool hexEscapes) {
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
    case '\\':
      write("\\\\", 2);
      continue;
    case '\t':
      write("\\t", 2);
      continue;
    case '\n':
      write("\\n", 2);
      continue;
    case '"':
      write("\\\"", 2);
      continue;
    default:
      break;
    }
    if (c >= 32 && c <= 126) {
      put(ch);
    } else if (hexEscapes) {
      char escape[4] = {'\\', 'x', UpperDigits[c >> 4], UpperDigits[c & 15]};
      write(escape, 4);
    } else {
      char escape[4] = {'\\', static_cast<char>('0' + (c >> 6)),
                        static_cast<char>('0' + ((c >> 3) & 7)), static_cast<char>('0' + (c & 7))};
      write(escape, 4);
    }
  }
  return *this;
}

OutputStream &OutputStream::setColour(TextColour colour, bool bold, bool background) {
  if (!coloursAllowed_)
    return *this;
  unsigned value = static_cast<unsigned>(colour);
  if (value == static_cast<unsigned>(TextColour::KeepColour))
    return write("\x1b[1m", 4);
  char seq[10];
  size_t n = 0;
  for (char c : TextRef("\x1b[0;"))
    seq[n++] = c;
  if (bold) {
    seq[n++] = '1';
    seq[n++] = ';';
  }
  seq[n++] = background ? '4' : '3';
  seq[n++] = static_cast<char>('0' + (value & 7));
  seq[n++] = 'm';
  return write(seq, n);
}

OutputStream &OutputStream::clearColour() {
  if (coloursAllowed_)
    write("\x1b[0m", 4);
  return *this;
}

OutputStream &OutputStream::invertColours() {
  if (coloursAllowed_)
    write("\x1b[7m", 4);
  return *this;
}

// ---------------------------------------------------------------------------
// FileOutputStream

FileOutputStream::FileOutputStream(int fd, bool closeOnDestruction, bool unbuffered)
    : OutputStream(unbuffered), fd_(fd), shouldClose_(closeOnDestruction) {
  init();
}

FileOutputStream::FileOutputStream(TextRef path, std::error_code &error)
    : OutputStream(false), fd_(-1), shouldClose_(true) {
  error = std::error_code();
  if (path == "-") {
    fd_ = STDOUT_FILENO;
  } else {
    std::string name(path);
    do {
      fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0)
      error = std::error_code(errno, std::generic_category());
  }
  init();
}

void FileOutputStream::init() {
  if (fd_ < 0) {
    shouldClose_ = false;
    return;
  }
  allowColours(true);
  if (fd_ <= 2)
    shouldClose_ = false;
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
  if (colourCapability_ < 0) {
    bool yes = false;
    if (isTerminal()) {
      int answer = terminfoColours(fd_);
      yes = answer < 0 ? termNameSuggestsColours(std::getenv("TERM")) : answer == 1;
    }
    colourCapability_ = yes ? 1 : 0;
  }
  return colourCapability_ == 1;
}

FileOutputStream &standardOutput() {
  static FileOutputStream stream(STDOUT_FILENO, false, false);
  // Registered after the stream exists, so it runs before the stream's
  // destructor: a fatal error found then must not call exit() again.
  static bool registered = (std::atexit(markExiting), true);
  (void)registered;
  return stream;
}

FileOutputStream &standardError() {
  static FileOutputStream stream(STDERR_FILENO, false, true);
  static bool registered = (std::atexit(markExiting), true);
  (void)registered;
  return stream;
}

// ---------------------------------------------------------------------------
// Colour decisions and labels

bool coloursWanted(const OutputStream &os, ColourPolicy policy) {
  switch (policy) {
  case ColourPolicy::Enable:
    return true;
  case ColourPolicy::Disable:
    return false;
  case ColourPolicy::Auto:
    break;
  }
  if (colourPreference == ColourPreferenceTrue)
    return true;
  if (colourPreference == ColourPreferenceFalse)
    return false;
  return os.supportsColours();
}

ColourScope::ColourScope(OutputStream &os, TextColour colour, bool bold, bool background,
                         ColourPolicy policy)
    : os_(os), policy_(policy) {
  if (coloursWanted(os_, policy_))
    os_.setColour(colour, bold, background);
}

ColourScope::~ColourScope() {
  if (coloursWanted(os_, policy_))
    os_.clearColour();
}

bool ColourScope::showsColours() const { return coloursWanted(os_, policy_); }

namespace {

OutputStream &severityLabel(OutputStream &os, TextRef prefix, bool disableColours,
                            TextColour colour, TextRef label) {
  if (!prefix.empty())
    os << prefix << ": ";
  ColourScope scope(os, colour, true, false,
                    disableColours ? ColourPolicy::Disable : ColourPolicy::Auto);
  return os << label;
}

} // namespace

OutputStream &errorLabel(OutputStream &os, TextRef prefix, bool disableColours) {
  return severityLabel(os, prefix, disableColours, TextColour::Red, "error: ");
}
OutputStream &warningLabel(OutputStream &os, TextRef prefix, bool disableColours) {
  return severityLabel(os, prefix, disableColours, TextColour::Magenta, "warning: ");
}
OutputStream &noteLabel(OutputStream &os, TextRef prefix, bool disableColours) {
  return severityLabel(os, prefix, disableColours, TextColour::Black, "note: ");
}
OutputStream &remarkLabel(OutputStream &os, TextRef prefix, bool disableColours) {
  return severityLabel(os, prefix, disableColours, TextColour::Blue, "remark: ");
}

// ---------------------------------------------------------------------------
// Placeholder formatting

namespace {

// Padding asked for by a template is bounded, so that a mistyped width cannot
// make a message run away.
constexpr size_t MaxPadding = size_t(1) << 20;

// Reads an optional decimal count (saturating); `fallback` when none is there.
size_t decimalOr(TextRef text, size_t fallback) {
  TextRef t = trim(text, " \t");
  if (t.empty() || !std::isdigit(static_cast<unsigned char>(t[0])))
    return fallback;
  size_t value = 0;
  for (char c : t) {
    if (!std::isdigit(static_cast<unsigned char>(c)))
      break;
    size_t digit = static_cast<size_t>(c - '0');
    value = value > (SIZE_MAX - digit) / 10 ? SIZE_MAX : value * 10 + digit;
  }
  return value;
}

void writeGrouped(OutputStream &os, uint64_t magnitude) {
  char digits[20];
  size_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  for (size_t i = n; i-- > 0;) {
    os.put(digits[i]);
    if (i > 0 && i % 3 == 0)
      os.put(',');
  }
}

} // namespace

void FormatArgument::format(OutputStream &os, TextRef style) const {
  style = trim(style, " \t");
  if (kind_ == Kind::Text) {
    size_t limit = decimalOr(style, text_.size());
    os.write(text_.substr(0, std::min(limit, text_.size())));
    return;
  }
  bool negative = kind_ == Kind::Signed && signed_ < 0;
  uint64_t magnitude = kind_ == Kind::Unsigned ? unsigned_
                       : negative ? static_cast<uint64_t>(0) - static_cast<uint64_t>(signed_)
                                  : static_cast<uint64_t>(signed_);
  uint64_t bits = kind_ == Kind::Unsigned ? unsigned_ : static_cast<uint64_t>(signed_);

  struct HexStyle {
    TextRef option;
    HexLayout layout;
  };
  // Longest options first so that "x-" is not read as "x".
  static const HexStyle hexStyles[] = {
      {"x-", HexLayout::Lower},         {"X-", HexLayout::Upper},
      {"x+", HexLayout::PrefixedLower}, {"X+", HexLayout::PrefixedUpper},
      {"x", HexLayout::PrefixedLower},  {"X", HexLayout::PrefixedUpper},
  };
  for (const HexStyle &hex : hexStyles) {
    if (!style.starts_with(hex.option))
      continue;
    TextRef rest = style.substr(hex.option.size());
    bool prefixed = hex.layout == HexLayout::PrefixedLower || hex.layout == HexLayout::PrefixedUpper;
    size_t digits = std::min(decimalOr(rest, 0), MaxPadding);
    std::optional<size_t> width;
    if (digits)
      width = digits + (prefixed ? 2 : 0);
    os.writeHexNumber(bits, hex.layout, width);
    return;
  }
  bool grouped = false;
  if (!style.empty() && (style[0] == 'N' || style[0] == 'n')) {
    grouped = true;
    style.remove_prefix(1);
  } else if (!style.empty() && (style[0] == 'D' || style[0] == 'd')) {
    style.remove_prefix(1);
  }
  size_t minDigits = std::min(decimalOr(style, 0), MaxPadding);
  if (negative)
    os.put('-');
  if (grouped) {
    writeGrouped(os, magnitude);
    return;
  }
  std::string text;
  StringOutputStream tmp(text);
  tmp.writeDecimal(magnitude);
  for (size_t i = text.size(); i < minDigits; ++i)
    os.put('0');
  os.write(text);
}

OutputStream &formatPlaceholders(OutputStream &os, TextRef pattern,
                                 std::initializer_list<FormatArgument> args) {
  TextRef rest = pattern;
  while (!rest.empty()) {
    size_t open = rest.find('{');
    if (open == TextRef::npos) {
      os.write(rest);
      break;
    }
    os.write(rest.substr(0, open));
    rest.remove_prefix(open);

    size_t run = 0;
    while (run < rest.size() && rest[run] == '{')
      ++run;
    if (run >= 2) {
      size_t pairs = run / 2;
      for (size_t i = 0; i < pairs; ++i)
        os.put('{');
      rest.remove_prefix(2 * pairs);
      continue;
    }

    size_t close = rest.find('}');
    if (close == TextRef::npos) {
      os.write(rest);
      break;
    }
    size_t nextOpen = rest.find('{', 1);
    if (nextOpen < close) {
      os.write(rest.substr(0, nextOpen));
      rest.remove_prefix(nextOpen);
      continue;
    }
    TextRef inner = rest.substr(1, close - 1);
    rest.remove_prefix(close + 1);

    TextRef fields = trimLeft(inner, " \t");
    uint64_t index = 0;
    if (!consumeUnsigned(fields, index))
      continue; // an unreadable index drops the placeholder
    fields = trimLeft(fields, " \t");

    char fill = ' ';
    Justification how = Justification::Right;
    size_t width = 0;
    if (consumeFront(fields, ",")) {
      fields = trimLeft(fields, " \t");
      auto alignOf = [](char c, Justification &j) {
        switch (c) {
        case '-':
          j = Justification::Left;
          return true;
        case '=':
          j = Justification::Centre;
          return true;
        case '+':
          j = Justification::Right;
          return true;
        default:
          return false;
        }
      };
      if (fields.size() >= 2 && alignOf(fields[1], how)) {
        fill = fields[0];
        fields.remove_prefix(2);
      } else if (!fields.empty() && alignOf(fields[0], how)) {
        fields.remove_prefix(1);
      }
      fields = trimLeft(fields, " \t");
      uint64_t w = 0;
      if (consumeUnsigned(fields, w, 10))
        width = static_cast<size_t>(std::min<uint64_t>(w, MaxPadding));
      fields = trimLeft(fields, " \t");
    }
    TextRef style;
    if (consumeFront(fields, ":"))
      style = fields;
    else if (!trim(fields, " \t").empty())
      continue; // trailing text that is neither layout nor style: malformed

    if (index >= args.size()) {
      os.write(inner);
      continue;
    }
    std::string text;
    StringOutputStream tmp(text);
    args.begin()[index].format(tmp, style);
    if (text.size() >= width) {
      os.write(text);
      continue;
    }
    size_t pad = width - text.size();
    size_t before = how == Justification::Right    ? pad
                    : how == Justification::Centre ? pad / 2
                                                   : 0;
    for (size_t i = 0; i < before; ++i)
      os.put(fill);
    os.write(text);
    for (size_t i = before; i < pad; ++i)
      os.put(fill);
  }
  return os;
}
