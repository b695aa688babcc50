#include "support/diag/PlaceholderFormat.h"

#include "support/diag/OutputStream.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <optional>

namespace ostrel {

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

// Writes `bits` in the hex style that `style` starts with; false when it
// starts with none.
bool writeHexStyle(OutputStream &os, uint64_t bits, TextRef style) {
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
    return true;
  }
  return false;
}

// The fields of one placeholder, "{index[,[fill]align width][:style]}".
struct Placeholder {
  uint64_t index = 0;
  char fill = ' ';
  Justification how = Justification::Right;
  size_t width = 0;
  TextRef style;
};

bool alignmentOf(char c, Justification &how) {
  switch (c) {
  case '-':
    how = Justification::Left;
    return true;
  case '=':
    how = Justification::Centre;
    return true;
  case '+':
    how = Justification::Right;
    return true;
  default:
    return false;
  }
}

// Reads the text between a placeholder's braces; nothing when its index
// cannot be read or trailing text is neither layout nor style.
std::optional<Placeholder> parsePlaceholder(TextRef inner) {
  Placeholder placeholder;
  TextRef fields = trimLeft(inner, " \t");
  if (!consumeUnsigned(fields, placeholder.index))
    return std::nullopt;
  fields = trimLeft(fields, " \t");

  if (consumeFront(fields, ",")) {
    fields = trimLeft(fields, " \t");
    if (fields.size() >= 2 && alignmentOf(fields[1], placeholder.how)) {
      placeholder.fill = fields[0];
      fields.remove_prefix(2);
    } else if (!fields.empty() && alignmentOf(fields[0], placeholder.how)) {
      fields.remove_prefix(1);
    }
    fields = trimLeft(fields, " \t");
    uint64_t width = 0;
    if (consumeUnsigned(fields, width, 10))
      placeholder.width = static_cast<size_t>(std::min<uint64_t>(width, MaxPadding));
    fields = trimLeft(fields, " \t");
  }
  if (consumeFront(fields, ":"))
    placeholder.style = fields;
  else if (!trim(fields, " \t").empty())
    return std::nullopt;
  return placeholder;
}

// Writes `text` filled up to the placeholder's width as its alignment says.
void writePadded(OutputStream &os, TextRef text, const Placeholder &placeholder) {
  size_t pad = text.size() < placeholder.width ? placeholder.width - text.size() : 0;
  size_t before = placeholder.how == Justification::Right    ? pad
                  : placeholder.how == Justification::Centre ? pad / 2
                                                             : 0;
  for (size_t i = 0; i < before; ++i)
    os.put(placeholder.fill);
  os.write(text);
  for (size_t i = before; i < pad; ++i)
    os.put(placeholder.fill);
}

} // namespace

void FormatArgument::format(OutputStream &os, TextRef style) const {
  style = trim(style, " \t");
  if (kind_ == Kind::Text) {
    size_t limit = decimalOr(style, text_.size());
    os.write(text_.substr(0, std::min(limit, text_.size())));
    return;
  }
  uint64_t bits = kind_ == Kind::Unsigned ? unsigned_ : static_cast<uint64_t>(signed_);
  if (writeHexStyle(os, bits, style))
    return;

  bool negative = kind_ == Kind::Signed && signed_ < 0;
  uint64_t magnitude = negative ? static_cast<uint64_t>(0) - bits : bits;
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
  StringOutputStream digits(text);
  digits.writeDecimal(magnitude);
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

    // A run of braces writes half of them; an odd last one opens a placeholder.
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

    // Without a closing brace the rest is plain text; a second opening brace
    // before it makes the text up to that brace plain.
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

    std::optional<Placeholder> placeholder = parsePlaceholder(inner);
    if (!placeholder)
      continue;
    if (placeholder->index >= args.size()) {
      os.write(inner);
      continue;
    }
    std::string text;
    StringOutputStream formatted(text);
    args.begin()[placeholder->index].format(formatted, placeholder->style);
    writePadded(os, text, *placeholder);
  }
  return os;
}

} // namespace ostrel
