#include "support/diag/OutputStream.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>

namespace ostrel {

namespace {

std::string colourText(ColourStyle style) {
  std::string out;
  StringOutputStream os(out);
  os.allowColours(true);
  os.setColour(style);
  return out;
}

TEST(OutputStreamTest, ColourEscapes) {
  EXPECT_EQ(colourText({.colour = TextColour::Red}), "\x1b[0;31m");
  EXPECT_EQ(colourText({.colour = TextColour::Green, .bold = true}), "\x1b[0;1;32m");
  EXPECT_EQ(colourText({.colour = TextColour::Blue, .background = true}), "\x1b[0;44m");
  EXPECT_EQ(colourText({.colour = TextColour::White, .bold = true, .background = true}),
            "\x1b[0;1;47m");
  EXPECT_EQ(colourText({.colour = TextColour::KeepColour}), "\x1b[1m");
  EXPECT_EQ(colourText({.colour = TextColour::KeepColour, .bold = true, .background = true}),
            "\x1b[1m");
  EXPECT_EQ(colourText({.colour = static_cast<TextColour>(9)}), "\x1b[0;31m");

  std::string out;
  StringOutputStream os(out);
  os.setColour({.colour = TextColour::Red}).clearColour().invertColours();
  EXPECT_EQ(out, "") << "string streams write no escapes until allowed";
  os.allowColours(true);
  os.clearColour().invertColours();
  EXPECT_EQ(out, "\x1b[0m\x1b[7m");
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
  os.writeNumberField(-42, 6).put('|').writeNumberField(255, 6, HexLayout::PrefixedUpper).put('|');
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

} // namespace

} // namespace ostrel
