#ifndef OSTREL_SUPPORT_DIAG_OUTPUTSTREAM_H
#define OSTREL_SUPPORT_DIAG_OUTPUTSTREAM_H

/// The stream everything the program writes goes through: diagnostics to
/// standardError(), help to standardOutput(), messages assembled in a
/// StringOutputStream. It buffers when that pays and offers the small
/// formatting operations the program needs: numbers, padded fields, escaped
/// text and colour escapes.

#include "support/fs/TextRef.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

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

/// How coloured text looks: its colour, in bold or not, as the background or
/// as the text colour.
struct ColourStyle {
  TextColour colour = TextColour::Black;
  bool bold = false;
  bool background = false;
};

enum class HexLayout { Upper = 0, Lower = 1, PrefixedUpper = 2, PrefixedLower = 3 };

enum class Justification { None, Left, Right, Centre };

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
  /// Hex in `hexLayout` through writeHexNumber, or without a layout signed
  /// decimal right-aligned with spaces.
  OutputStream &writeNumberField(int64_t value, unsigned width,
                                 std::optional<HexLayout> hexLayout = std::nullopt);
  /// `text` padded with spaces to `width` as `how` says.
  OutputStream &writeJustified(TextRef text, size_t width, Justification how);
  OutputStream &indent(size_t count);
  /// C-style escapes; non-printable bytes as \xHH (hex) or \ooo (octal).
  OutputStream &writeWithEscapes(TextRef text, bool hexEscapes = false);

  // Colour escapes; each writes nothing unless colours are allowed.
  virtual OutputStream &setColour(ColourStyle style);
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

/// Appends to a std::string; always unbuffered, colours off until allowed.
class StringOutputStream : public OutputStream {
public:
  explicit StringOutputStream(std::string &target) : OutputStream(true), target_(target) {}

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

/// The process's standard output (descriptor 1, buffered) and standard error
/// (descriptor 2, unbuffered), both FileOutputStreams; created on first use,
/// destroyed at process exit.
OutputStream &standardOutput();
OutputStream &standardError();

} // namespace ostrel

#endif
