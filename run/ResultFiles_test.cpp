#include "run/ResultFiles.h"

#include <gtest/gtest.h>

namespace ostrel {

namespace {

TEST(ResultFilesTest, XmlEscapeKeepsValidTextAndShowsEveryOtherByte) {
  struct Case {
    std::string text;
    std::string escaped;
  } cases[] = {
      {"plain\ttext\n", "plain\ttext\n"},
      {"<a href=\"x\">'&'</a>", "&lt;a href=&quot;x&quot;&gt;&apos;&amp;&apos;&lt;/a&gt;"},
      {"cr\r", "cr&#13;"},
      {std::string("nul\0", 4), "nul\\x00"},
      {"\x1b[1mbold", "\\x1B[1mbold"},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
      {"\xff\xfe", "\\xFF\\xFE"},
      {"\xc3", "\\xC3"},                   // cut short
      {"\xc0\xaf", "\\xC0\\xAF"},          // overlong
      {"\xed\xa0\x80", "\\xED\\xA0\\x80"}, // a surrogate
      {"\xef\xbf\xbe", "\\xEF\\xBF\\xBE"}, // U+FFFE
      {"\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"}, // past U+10FFFF
  };
  for (const Case &c : cases)
    EXPECT_EQ(xmlEscape(c.text), c.escaped) << c.text;
}

} // namespace

} // namespace ostrel
