#include "engine/FixedTextSearch.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace ostrel {

namespace {

std::vector<size_t> oneByOne(const std::vector<std::string> &texts, TextRef haystack,
                             bool ignoreCase) {
  std::vector<size_t> result;
  for (const std::string &text : texts)
    result.push_back(findFixedText(haystack, text, ignoreCase));
  return result;
}

std::vector<size_t> together(const std::vector<std::string> &texts, TextRef haystack,
                             bool ignoreCase) {
  std::vector<TextRef> refs(texts.begin(), texts.end());
  return FixedTextSet(refs, ignoreCase).firstOccurrences(haystack);
}

TEST(FindFixedTextTest, FoldsOnlyAsciiLetters) {
  struct Case {
    TextRef haystack, needle;
    bool ignoreCase;
    size_t expected;
  } cases[] = {
      {"a Foo", "foo", false, TextRef::npos},
      {"a Foo", "foo", true, 2},
      {"a fOO", "FoO", true, 2},
      {"[x]", "[X]", true, 0},
      {"\xc4\x80", "\xe4\x80", true, TextRef::npos}, // bytes >= 128 never fold
      {"@", "`", true, TextRef::npos},               // neighbours of the letters
      {"fo", "foo", true, TextRef::npos},
      {"ffoo", "foo", false, 1},
      {std::string_view("a\0b", 3), std::string_view("\0b", 2), false, 1},
      {"xyz", "", false, 0},
  };
  for (const Case &c : cases)
    EXPECT_EQ(findFixedText(c.haystack, c.needle, c.ignoreCase), c.expected)
        << c.haystack << " / " << c.needle;
}

TEST(FindFixedTextTest, AgreesWithAPlainSearchOnRandomTexts) {
  // Small alphabets with letters of both cases and bytes next to them, and
  // texts long enough to take the sixteen-at-a-time path and its tail.
  const std::string alphabet("aAbB@`\0\xe1", 8);
  std::mt19937 random(7);
  auto pick = [&](size_t length) {
    std::string text;
    for (size_t i = 0; i < length; ++i)
      text += alphabet[random() % alphabet.size()];
    return text;
  };
  auto reference = [](TextRef haystack, TextRef needle, bool ignoreCase) -> size_t {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
      size_t j = 0;
      while (j < needle.size() && (ignoreCase ? fold(haystack[i + j]) == fold(needle[j])
                                              : haystack[i + j] == needle[j]))
        ++j;
      if (j == needle.size())
        return i;
    }
    return TextRef::npos;
  };
  for (int round = 0; round < 20000; ++round) {
    std::string haystack = pick(random() % 70);
    std::string needle = pick(1 + random() % 4);
    bool ignoreCase = round % 2 == 1;
    ASSERT_EQ(findFixedText(haystack, needle, ignoreCase), reference(haystack, needle, ignoreCase))
        << testing::PrintToString(haystack) << " / " << testing::PrintToString(needle);
  }
}

TEST(FixedTextSet, FindsWhatEachSearchOnItsOwnFinds) {
  // Small alphabets make texts that are prefixes, suffixes and inner parts
  // of each other, repeats, and occurrences that overlap.
  std::mt19937 random(11);
  const std::string alphabet = "abAB\n";
  auto randomText = [&](size_t maxLength) {
    std::string text(1 + random() % maxLength, ' ');
    for (char &c : text)
      c = alphabet[random() % alphabet.size()];
    return text;
  };
  for (int round = 0; round < 400; ++round) {
    std::vector<std::string> texts(1 + random() % 12);
    for (std::string &text : texts)
      text = randomText(5);
    std::string haystack = round % 10 ? randomText(60) : "";
    for (bool ignoreCase : {false, true})
      ASSERT_EQ(together(texts, haystack, ignoreCase), oneByOne(texts, haystack, ignoreCase))
          << round << " " << ignoreCase << " in '" << haystack << "'";
  }
}

TEST(FixedTextSet, CaseFoldingTouchesOnlyLetters) {
  std::vector<std::string> texts = {"Ab[", "a{", "@x", "AB[C"};
  EXPECT_EQ(together(texts, "@X ab{ ab[ AB[c", true),
            (std::vector<size_t>{7, TextRef::npos, 0, 11}));
  EXPECT_EQ(together(texts, "@X ab{ ab[ AB[c", false),
            (std::vector<size_t>{TextRef::npos, TextRef::npos, TextRef::npos, TextRef::npos}));
}

} // namespace

} // namespace ostrel
