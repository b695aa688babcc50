#include "support/regex/CompiledRegex.h"

#include <gtest/gtest.h>

namespace ostrel {

namespace {

// Group entries as offsets into the subject, "-" for a group that took no part.
std::string groupText(const std::vector<TextRef> &groups, TextRef subject) {
  std::string out;
  for (TextRef group : groups) {
    if (!out.empty())
      out += ' ';
    if (!group.data())
      out += '-';
    else
      out += std::to_string(group.data() - subject.data()) + ":" + std::string(group);
  }
  return out;
}

TEST(CompiledRegexTest, GroupsPointIntoTheSubject) {
  CompiledRegex regex("a(b)(c(d))");
  EXPECT_EQ(regex.groupCount(), 3u);
  std::string subject = "xabcd";
  std::vector<TextRef> groups{"stale"};
  ASSERT_TRUE(regex.search(subject, &groups));
  EXPECT_EQ(groupText(groups, subject), "1:abcd 2:b 3:cd 4:d");

  CompiledRegex optional("(x)?y");
  subject = "y";
  ASSERT_TRUE(optional.search(subject, &groups));
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[1].data(), nullptr);
  // An empty group that did take part points into the subject.
  CompiledRegex empty("a(b*)");
  subject = "a";
  ASSERT_TRUE(empty.search(subject, &groups));
  EXPECT_EQ(groups[1].data(), subject.data() + 1);
  EXPECT_TRUE(groups[1].empty());
}

TEST(CompiledRegexTest, Flags) {
  std::string subject = "a\nB";
  EXPECT_FALSE(CompiledRegex("^b").search(subject));
  EXPECT_FALSE(CompiledRegex("^b", CompiledRegex::newlineSensitive).search(subject));
  EXPECT_TRUE(CompiledRegex("^b", CompiledRegex::newlineSensitive | CompiledRegex::ignoreCase)
                  .search(subject));
  EXPECT_TRUE(CompiledRegex("a.B").search(subject));
  EXPECT_FALSE(CompiledRegex("a.B", CompiledRegex::newlineSensitive).search(subject));
  // The subject's ends are line ends even when it is a slice of a larger text.
  TextRef middle = TextRef("xabcx").substr(1, 3);
  EXPECT_TRUE(CompiledRegex("^abc$").search(middle));
}

TEST(CompiledRegexTest, InvalidExpressions) {
  std::string error;
  CompiledRegex empty("");
  EXPECT_FALSE(empty.checkValid(error));
  EXPECT_EQ(error, "empty (sub)expression");
  CompiledRegex unbalanced("(a");
  EXPECT_FALSE(unbalanced.checkValid(error));
  EXPECT_EQ(error, "parentheses not balanced");
  std::vector<TextRef> groups{"kept"};
  EXPECT_FALSE(unbalanced.search("(a", &groups, &error));
  EXPECT_EQ(error, "parentheses not balanced");
  EXPECT_EQ(groups.size(), 1u);

  // A plain miss leaves the error text empty.
  CompiledRegex valid("b");
  error = "old";
  EXPECT_TRUE(valid.checkValid(error));
  EXPECT_FALSE(valid.search("aaa", nullptr, &error));
  EXPECT_EQ(error, "");
  EXPECT_EQ(regexErrorText(99), "*** unknown regexp error code ***");
}

TEST(CompiledRegexTest, EscapedTextMatchesItselfLiterally) {
  EXPECT_EQ(CompiledRegex::escapeText("a.b*c"), "a\\.b\\*c");
  EXPECT_EQ(CompiledRegex::escapeText("plain text, 1-2"), "plain text, 1-2");
  std::string special("()^$|*+?.[]\\{}\0x", 16);
  std::string escaped = CompiledRegex::escapeText(special);
  EXPECT_EQ(escaped.size(), 31u);
  std::string unescaped = "kept:";
  CompiledRegex::appendUnescaped(unescaped, escaped);
  EXPECT_EQ(unescaped, "kept:" + special);
  CompiledRegex regex(escaped);
  std::string error;
  ASSERT_TRUE(regex.checkValid(error)) << error;
  std::vector<TextRef> groups;
  std::string subject = "zz" + special + "zz";
  ASSERT_TRUE(regex.search(subject, &groups));
  EXPECT_EQ(groups[0], TextRef(special));
  EXPECT_FALSE(regex.search("()^$|*+?.[]\\{}x"));
}

TEST(CompiledRegexTest, CopiesAreIndependent) {
  auto original = std::make_unique<CompiledRegex>("(b+)");
  CompiledRegex copy(*original);
  CompiledRegex assigned("x");
  assigned = *original;
  original.reset();
  std::vector<TextRef> groups;
  std::string subject = "abbc";
  ASSERT_TRUE(copy.search(subject, &groups));
  EXPECT_EQ(groupText(groups, subject), "1:bb 1:bb");
  ASSERT_TRUE(assigned.search(subject, &groups));
  CompiledRegex moved(std::move(copy));
  EXPECT_TRUE(moved.search(subject));
  EXPECT_TRUE(CompiledRegex("x*").search(TextRef()));
}

// A search leaves its automata behind for the next one; nothing else of it
// may carry over. One object searches a series of subjects and slices,
// each answer compared with a fresh object's. '(a|b)*a(a|b){9}' needs more
// automaton states than one cache holds, so the cache also starts afresh
// between and within searches.
TEST(CompiledRegexTest, RepeatedSearchesAgreeWithFreshObjects) {
  std::string text;
  unsigned seed = 7;
  for (int i = 0; i < 6000; ++i) {
    seed = seed * 1103515245u + 12345u;
    text += (seed >> 16) % 1000 == 0 ? '\n' : "ab"[(seed >> 16) % 2];
  }
  const char *const patterns[] = {"(a|b)*a(a|b){9}", "^(b+)a", "a(b)\\1|ba$", "b{3}[[:>:]]",
                                  "(aa|b)+b$"};
  const unsigned flagSets[] = {0, CompiledRegex::newlineSensitive};
  for (const char *pattern : patterns) {
    for (unsigned flags : flagSets) {
      CompiledRegex reused(pattern, flags);
      for (size_t start = 0; start < text.size(); start += 397) {
        for (size_t length : {size_t(0), size_t(3), size_t(40), size_t(700), text.size() - start}) {
          TextRef subject = TextRef(text).substr(start, length);
          std::vector<TextRef> expected, groups;
          bool found = CompiledRegex(pattern, flags).search(subject, &expected);
          ASSERT_EQ(reused.search(subject, &groups), found)
              << pattern << " at " << start << "+" << length;
          if (!found)
            continue;
          EXPECT_EQ(groupText(groups, subject), groupText(expected, subject))
              << pattern << " at " << start << "+" << length;
          TextRef whole;
          ASSERT_TRUE(reused.searchWhole(subject, whole));
          EXPECT_EQ(groupText({whole}, subject), groupText({expected[0]}, subject));
        }
      }
    }
  }
}

} // namespace

TEST(CompiledRegexTest, BracketExpressionLength) {
  struct Case {
    TextRef text;
    size_t length;
  };
  const Case cases[] = {
      {"[a]x", 3},         {"[]a]x", 4},     {"[^]a]x", 5}, {"[[:alpha:]]x", 11},
      {"[[.-.]a]x", 8},    {"[[:<:]]x", 7},  {"[\\d]x", 4}, {"[a", 2},
      {"[[:alpha]x", 10},
  };
  for (const Case &c : cases)
    EXPECT_EQ(bracketExpressionLength(c.text), c.length) << c.text;
}

} // namespace ostrel
