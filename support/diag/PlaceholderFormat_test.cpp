#include "support/diag/PlaceholderFormat.h"

#include "support/diag/OutputStream.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {

namespace {

TEST(PlaceholderFormatTest, Placeholders) {
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
      // Text after the layout that is no style: dropped, even without argument.
      {"[{0 x}|{7,4 x}]", "[|]"},
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

TEST(PlaceholderFormatTest, TextLimitIsNotCappedByPaddingBounds) {
  std::string text(3 << 20, 'q');
  std::string out;
  StringOutputStream os(out);
  formatPlaceholders(os, "{0:4000000}|{0:99999999999999999999999}", {text});
  EXPECT_EQ(out, text + "|" + text);
}

} // namespace

} // namespace ostrel
