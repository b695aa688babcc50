#include "engine/FixedTextSet.h"

#include "engine/PatternMatcher.h"

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
