#include "support/diag/OutputStream.h"

#include <algorithm>
#include <cstring>

namespace ostrel {

namespace {

const char UpperDigits[] = "0123456789ABCDEF";
const char LowerDigits[] = "0123456789abcdef";

} // namespace

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

OutputStream &OutputStream::writeNumberField(int64_t value, unsigned width,
                                             std::optional<HexLayout> hexLayout) {
  if (hexLayout)
    return writeHexNumber(static_cast<uint64_t>(value), *hexLayout, width);
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

OutputStream &OutputStream::setColour(ColourStyle style) {
  if (!coloursAllowed_)
    return *this;
  unsigned value = static_cast<unsigned>(style.colour);
  if (value == static_cast<unsigned>(TextColour::KeepColour))
    return write("\x1b[1m", 4);
  char seq[10];
  size_t n = 0;
  for (char c : TextRef("\x1b[0;"))
    seq[n++] = c;
  if (style.bold) {
    seq[n++] = '1';
    seq[n++] = ';';
  }
  seq[n++] = style.background ? '4' : '3';
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

} // namespace ostrel
