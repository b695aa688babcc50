#ifndef OSTREL_SUPPORT_DIAG_OUTPUTSTREAM_H
#define OSTREL_SUPPORT_DIAG_OUTPUTSTREAM_H

/// Buffered output with terminal colours. Everything the program writes goes
/// through an OutputStream: diagnostics to standardError(), help and the dump
/// explanation to standardOutput(), messages assembled in a
/// StringOutputStream. The stream buffers when that pays, writes colour
/// escapes only when a ColourScope decides for them, and offers the small
/// formatting operations the program needs.

#include "support/fs/TextRef.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

enum class TextColour : unsigned {
  Black = 0,
  Red = 1,
  Green = 2,
  Yellow = 3,
  Blue = 4,
  Magenta = 5,
  Cyan = 6,
  White = 7,
  /// Keeps the current colour and switches bold on.
  KeepColour = 8,
};

enum class ColourPolicy { Auto = 0, Enable = 1, Disable = 2 };

enum class HexLayout { Upper = 0, Lower = 1, PrefixedUpper = 2, PrefixedLower = 3 };

enum class Justification { None, Left, Right, Centre };

/// Process-wide colour preference: 0 unset, 1 true, 2 false. The "color"
/// option stores its value here; ColourScope in auto mode reads it.
extern int32_t colourPreference;
constexpr int32_t ColourPreferenceUnset = 0;
constexpr int32_t ColourPreferenceTrue = 1;
constexpr int32_t ColourPreferenceFalse = 2;

class OutputStream {
public:
  virtual ~OutputStream();
  OutputStream(const OutputStream &) = delete;
  OutputStream &operator=(const OutputStream &) = delete;

  OutputStream &write(const char *data, size_t size);
  OutputStream &write(TextRef text) { return write(text.data(), text.size()); }
  OutputStream &put(char c);
  /// Hands the buffered bytes to the destination.
  void flush();
  /// Position in the destination, counting buffered bytes.
  uint64_t tell() const { return currentPosition() + bufferedCount(); }

  OutputStream &operator<<(TextRef text) { return write(text); }
  OutputStream &operator<<(const char *text) { return write(TextRef(text ? text : "")); }
  OutputStream &operator<<(const std::string &text) { return write(text.data(), text.size()); }
  OutputStream &operator<<(char c) { return put(c); }
  OutputStream &operator<<(signed char c) { return put(static_cast<char>(c)); }
  OutputStream &operator<<(unsigned char c) { return put(static_cast<char>(c)); }
  OutputStream &operator<<(int v) { return writeDecimal(static_cast<int64_t>(v)); }
  OutputStream &operator<<(long v) { return writeDecimal(static_cast<int64_t>(v)); }
  OutputStream &operator<<(long long v) { return writeDecimal(static_cast<int64_t>(v)); }
  OutputStream &operator<<(unsigned v) { return writeDecimal(static_cast<uint64_t>(v)); }
  OutputStream &operator<<(unsigned long v) { return writeDecimal(static_cast<uint64_t>(v)); }
  OutputStream &operator<<(unsigned long long v) {
    return writeDecimal(static_cast<uint64_t>(v));
  }

  /// Signed and unsigned decimal; the most negative value prints correctly.
  OutputStream &writeDecimal(int64_t value);
  OutputStream &writeDecimal(uint64_t value);
  /// Hex digits of `value`, zero-filled between the "0x" prefix (prefixed
  /// layouts) and the digits up to min(width, 128) characters in total.
  OutputStream &writeHexNumber(uint64_t value, HexLayout layout,
                               std::optional<size_t> width = std::nullopt);
  /// Hex through writeHexNumber, or signed decimal right-aligned with spaces.
  OutputStream &writeNumberField(int64_t value, unsigned width, bool hex = false,
                                 bool upper = false, bool prefix = false);
  /// `text` padded with spaces to `width` as `how` says.
  OutputStream &writeJustified(TextRef text, size_t width, Justification how);
  OutputStream &indent(size_t count);
  /// C-style escapes; non-printable bytes as \xHH (hex) or \ooo (octal).
  OutputStream &writeWithEscapes(TextRef text, bool hexEscapes = false);

  // Colour escapes; each writes nothing unless colours are allowed.
  virtual OutputStream &setColour(TextColour colour, bool bold = false, bool background = false);
  virtual OutputStream &clearColour();
  virtual OutputStream &invertColours();
  virtual bool isTerminal() const { return false; }
  /// Whether the destination understands colour escapes.
  virtual bool supportsColours() const { return isTerminal(); }
  virtual void allowColours(bool allow) { coloursAllowed_ = allow; }
  bool coloursAllowed() const { return coloursAllowed_; }

protected:
  explicit OutputStream(bool unbuffered) : unbuffered_(unbuffered) {}

  /// Hands bytes to the destination.
  virtual void writeToSink(const char *data, size_t size) = 0;
  /// Bytes handed to the destination so far (plus any starting offset).
  virtual uint64_t currentPosition() const = 0;
  virtual size_t preferredBufferSize() const { return 1024; }

  size_t bufferedCount() const { return static_cast<size_t>(cur_ - bufStart_); }

private:
  void setUpBuffer();
  void flushBuffer();

  char *bufStart_ = nullptr;
  char *bufEnd_ = nullptr;
  char *cur_ = nullptr;
  bool unbuffered_;
  bool coloursAllowed_ = false;
};

/// Output to a file descriptor. The first write error is recorded (later
/// writes are still attempted); destroying a stream with a recorded error
/// ends the process with "IO failure on output stream: " and the system text.
class FileOutputStream : public OutputStream {
public:
  /// Takes `fd` (negative means no descriptor). Descriptors 0, 1 and 2 are
  /// never closed.
  FileOutputStream(int fd, bool closeOnDestruction, bool unbuffered = false);
  /// Opens `path` for writing (created or truncated); "-" selects standard
  /// output. On failure `error` is set and the stream has no descriptor.
  FileOutputStream(TextRef path, std::error_code &error);
  ~FileOutputStream() override;

  int fileDescriptor() const { return fd_; }
  bool isSeekable() const { return seekable_; }
  bool isRegularFile() const { return regularFile_; }
  std::error_code error() const { return error_; }
  bool hasError() const { return static_cast<bool>(error_); }
  /// Forgets a recorded error, e.g. after the caller reported it itself.
  void clearError() { error_ = std::error_code(); }

  bool isTerminal() const override;
  bool supportsColours() const override;

protected:
  void writeToSink(const char *data, size_t size) override;
  uint64_t currentPosition() const override { return position_; }
  size_t preferredBufferSize() const override;

private:
  void init();

  int fd_;
  bool shouldClose_;
  bool seekable_ = false;
  bool regularFile_ = false;
  mutable int colourCapability_ = -1; // -1 unknown, 0 no, 1 yes
  uint64_t position_ = 0;
  std::error_code error_;
};

/// Appends to a std::string; always unbuffered, colours off until allowed.
class StringOutputStream : public OutputStream {
public:
  explicit StringOutputStream(std::string &target) : OutputStream(true), target_(target) {}
  std::string &str() { return target_; }

protected:
  void writeToSink(const char *data, size_t size) override { target_.append(data, size); }
  uint64_t currentPosition() const override { return target_.size(); }

private:
  std::string &target_;
};

/// Appends to a growable character array; otherwise like StringOutputStream.
class VectorOutputStream : public OutputStream {
public:
  explicit VectorOutputStream(std::vector<char> &target) : OutputStream(true), target_(target) {}

protected:
  void writeToSink(const char *data, size_t size) override {
    target_.insert(target_.end(), data, data + size);
  }
  uint64_t currentPosition() const override { return target_.size(); }

private:
  std::vector<char> &target_;
};

/// Standard output (descriptor 1, buffered) and standard error (descriptor 2,
/// unbuffered); created on first use, destroyed at process exit.
FileOutputStream &standardOutput();
FileOutputStream &standardError();

/// Called when a write on a FileOutputStream fails because the pipe has no
/// reader (EPIPE). Without a hook the failure is recorded like any other.
using BrokenPipeHook = void (*)();
void setBrokenPipeHook(BrokenPipeHook hook);

/// Switches colours on for its lifetime when its policy (and, for Auto, the
/// colour preference or the stream's capability) says so.
class ColourScope {
public:
  ColourScope(OutputStream &os, TextColour colour, bool bold = false, bool background = false,
              ColourPolicy policy = ColourPolicy::Auto);
  ~ColourScope();
  ColourScope(const ColourScope &) = delete;
  ColourScope &operator=(const ColourScope &) = delete;

  /// Whether this scope emits colours.
  bool showsColours() const;

private:
  OutputStream &os_;
  ColourPolicy policy_;
};

/// Whether a scope with `policy` on `os` emits colours.
bool coloursWanted(const OutputStream &os, ColourPolicy policy);

/// The fallback when a terminal's description gives no colour count: TERM is
/// "ansi", "cygwin" or "linux", starts with "screen", "xterm", "vt100" or
/// "rxvt", or ends with "color". Null (TERM unset) gives false.
bool termNameSuggestsColours(const char *term);

// Severity labels: optional "prefix: ", then the coloured label ("error: ",
// "warning: ", "note: ", "remark: ").
OutputStream &errorLabel(OutputStream &os, TextRef prefix = {}, bool disableColours = false);
OutputStream &warningLabel(OutputStream &os, TextRef prefix = {}, bool disableColours = false);
OutputStream &noteLabel(OutputStream &os, TextRef prefix = {}, bool disableColours = false);
OutputStream &remarkLabel(OutputStream &os, TextRef prefix = {}, bool disableColours = false);

/// One argument of formatPlaceholders: a text or an integer.
class FormatArgument {
public:
  FormatArgument(TextRef text) : kind_(Kind::Text), text_(text) {}
  FormatArgument(const char *text) : kind_(Kind::Text), text_(text) {}
  FormatArgument(const std::string &text) : kind_(Kind::Text), text_(text) {}
  FormatArgument(int v) : kind_(Kind::Signed), signed_(v) {}
  FormatArgument(long v) : kind_(Kind::Signed), signed_(v) {}
  FormatArgument(long long v) : kind_(Kind::Signed), signed_(v) {}
  FormatArgument(unsigned v) : kind_(Kind::Unsigned), unsigned_(v) {}
  FormatArgument(unsigned long v) : kind_(Kind::Unsigned), unsigned_(v) {}
  FormatArgument(unsigned long long v) : kind_(Kind::Unsigned), unsigned_(v) {}

  /// Writes the argument with its style options (the text after ":").
  void format(OutputStream &os, TextRef style) const;

private:
  enum class Kind { Text, Signed, Unsigned };
  Kind kind_;
  TextRef text_;
  int64_t signed_ = 0;
  uint64_t unsigned_ = 0;
};

/// Writes `pattern` with "{index[,[fill]align width][:style]}" placeholders
/// replaced by the arguments; "{{" writes one brace.
OutputStream &formatPlaceholders(OutputStream &os, TextRef pattern,
                                 std::initializer_list<FormatArgument> args);

#endif
