#include "engine/TextPreparation.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

namespace ostrel {

TEST(PrepareTextTest, FoldsBlanksAndDropsCarriageReturnsBeforeLineFeeds) {
  const TextRef source("a \t b\r\nc\rd \r\r\n\t", 15);
  std::string store;
  TextRef prepared = prepareCopy(source, store, false);
  EXPECT_EQ(prepared, "a b\nc\rd \r\n ");
  ASSERT_EQ(store.size(), prepared.size() + 1);
  EXPECT_EQ(store.back(), '\0');

  prepared = prepareCopy(source, store, true);
  EXPECT_EQ(prepared, "a \t b\nc\rd \r\n\t");
  EXPECT_EQ(prepareCopy("", store, true), "");
  EXPECT_EQ(store, std::string(1, '\0'));
}

TEST(PrepareTextTest, InPlaceGivesTheSameTextAsACopy) {
  // Long enough for the sixteen-byte scan, with changes at its edges.
  const std::string longLine = std::string(40, 'x') + "  \t" + std::string(15, 'y') +
                               "\r\n" + std::string(17, 'z') + " \r";
  const std::string sources[] = {"", "unchanged text\n", "a \t b\r\nc\rd \r\r\n\t",
                                 "   ", "\r\n\r\n", longLine};
  for (bool strict : {false, true}) {
    for (const std::string &source : sources) {
      std::string store;
      TextRef copied = prepareCopy(source, store, strict);
      EXPECT_EQ(isPrepared(source, strict), copied == TextRef(source)) << source;
      std::unique_ptr<OwnedFileBuffer> buffer = allocateBuffer(source.size(), "in place");
      ASSERT_TRUE(buffer);
      OwnedFileBuffer &owned = *buffer;
      std::copy(source.begin(), source.end(), owned.mutableStart());
      TextRef prepared = prepareInPlace(owned, strict);
      EXPECT_EQ(prepared, copied) << "strict " << strict << " source " << source;
      EXPECT_EQ(prepared.data(), owned.bufferStart());
      EXPECT_EQ(*owned.bufferEnd(), '\0');
    }
  }
}

TEST(PrepareTextTest, FollowsTheRulesOnRandomTexts) {
  // Long and short stretches between changes, at every alignment of the
  // sixteen-byte steps, copied and in place, against the rules applied one
  // byte at a time.
  auto byTheRules = [](const std::string &text, bool strict) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
      char c = text[i];
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
        continue;
      if (!strict && (c == ' ' || c == '\t')) {
        while (i + 1 < text.size() && (text[i + 1] == ' ' || text[i + 1] == '\t'))
          ++i;
        c = ' ';
      }
      out += c;
    }
    return out;
  };
  std::mt19937 random(7);
  const std::string white = " \t\r\n";
  for (int round = 0; round < 400; ++round) {
    // One byte in `spread` is white space: dense in some texts, rare in others.
    size_t spread = 1 + round % 40;
    std::string text(random() % 300, 'x');
    for (char &c : text)
      c = random() % spread == 0 ? white[random() % white.size()] : char('a' + random() % 26);
    for (bool strict : {false, true}) {
      std::string store;
      std::string expected = byTheRules(text, strict);
      EXPECT_EQ(prepareCopy(text, store, strict), expected) << text;
      std::unique_ptr<OwnedFileBuffer> buffer = allocateBuffer(text.size(), "in place");
      ASSERT_TRUE(buffer);
      std::copy(text.begin(), text.end(), buffer->mutableStart());
      EXPECT_EQ(prepareInPlace(*buffer, strict), expected) << text;
    }
  }
}

} // namespace ostrel
