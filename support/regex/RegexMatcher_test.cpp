#include "support/regex/RegexCompiler.h"
#include "support/regex/RegexMatcher.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {

namespace {

constexpr unsigned NL = regexNewline;
constexpr unsigned IC = regexIgnoreCase;

// Matches and renders every slot as "start-end" ("-" for none), or "none"
// when there is no match.
std::string matchText(const std::string &pattern, unsigned flags, const std::string &subject,
                      RegexStateForm form = RegexStateForm::Automatic) {
  std::unique_ptr<RegexProgram> program;
  int status = compileRegex(program, pattern.data(), pattern.data() + pattern.size(),
                            flags | regexExtended | regexPatternEnd);
  if (status != 0)
    return "compile error " + std::to_string(status);
  std::vector<RegexMatchSlot> slots(program->subExpressionCount + 1);
  status = matchRegex(program.get(), subject.data(), 0, subject.size(), slots.size(),
                      slots.data(), form);
  if (status == 1)
    return "none";
  if (status != 0)
    return "status " + std::to_string(status);
  std::string out;
  for (const RegexMatchSlot &slot : slots) {
    if (!out.empty())
      out += ' ';
    out += slot.start == -1 ? "-" : std::to_string(slot.start) + "-" + std::to_string(slot.end);
  }
  return out;
}

struct MatchCase {
  const char *pattern;
  unsigned flags;
  const char *subject;
  const char *expected;
};

const MatchCase matchCases[] = {
    // Leftmost, then longest; alternation is not ordered.
    {"a|ab", 0, "abc", "0-2"},
    {"b|ab", 0, "xabc", "1-3"},
    // A match in progress whose states all lie in the fresh set is still a
    // match in progress: the leftmost start is 0.
    {"(c?|A)b", 0, "Ab", "0-2 0-1"},
    {"(c?|[[:alpha:]])?[ab]", 0, "cAabA", "1-3 1-2"},
    {"(a|ab)(c|bcd)", 0, "abcd", "0-4 0-1 1-4"},
    {"x*", 0, "", "0-0"},
    {"x*", 0, "ab", "0-0"},
    {"a+", 0, "baaab", "1-4"},
    {"a.c", 0, "xa\nc", "1-4"},
    // Groups report their last iteration; a group that took no part is "-".
    {"(a*)+", 0, "aa", "0-2 2-2"},
    {"(ab|c)*", 0, "abcab", "0-5 3-5"},
    {"(a)|b", 0, "b", "0-1 -"},
    {"(x)?y", 0, "y", "0-1 -"},
    {"a(b)(c(d))", 0, "abcd", "0-4 1-2 2-4 3-4"},
    {"()", 0, "a", "0-0 0-0"},
    {"(a?)((ab)?)(b?)", 0, "ab", "0-2 0-1 1-1 - 1-2"},
    {"((a)|b)+", 0, "ab", "0-2 1-2 -"},
    // Counted repetition.
    {"a{2,3}", 0, "aaaa", "0-3"},
    {"a{2}", 0, "a", "none"},
    {"a{0,2}b", 0, "aaab", "1-4"},
    {"(ab){1,3}c", 0, "abababc", "0-7 4-6"},
    {"ba{0}", 0, "ab", "1-2"},
    {"x(a|b){0}y", 0, "xy", "0-2 -"},
    {"a{1,}", 0, "aaa", "0-3"},
    {"a{0,}b", 0, "aab", "0-3"},
    // Anchors, with and without newline sensitivity.
    {"^b", 0, "a\nb", "none"},
    {"^b", NL, "a\nb", "2-3"},
    {"a$", 0, "a\nb", "none"},
    {"a$", NL, "a\nb", "0-1"},
    {"^$", NL, "a\n\nb", "2-2"},
    {"x^", 0, "x", "none"},
    {"^^a$$", 0, "a", "0-1"},
    {"$a", 0, "a", "none"},
    {".", NL, "\n", "none"},
    {"[^x]", NL, "\n", "none"},
    {"[^x]", 0, "\n", "0-1"},
    {"[\\n]", NL, "n", "0-1"},
    // Word boundaries.
    {"[[:<:]]foo", 0, "a foo", "2-5"},
    {"[[:<:]]foo", 0, "afoo", "none"},
    {"foo[[:>:]]", 0, "foox foo", "5-8"},
    {"[[:<:]]a[[:>:]]", 0, "a", "0-1"},
    // Anchors and word boundaries at one position pass in any order.
    {"[[:>:]]$", 0, "ab", "2-2"},
    {"b[[:>:]]$[[:>:]]", 0, "ab", "1-2"},
    {"[[:<:]][[:<:]]a", 0, "a", "0-1"},
    {"^[[:<:]]^a", NL, "x\na", "2-3"},
    // Case folding.
    {"a", IC, "xA", "1-2"},
    {"[^a]", IC, "Aab", "2-3"},
    {"[a-c]+", IC, "xAbC", "1-4"},
    // Bytes above 0x7f and NUL are ordinary.
    {"\xe9+", 0, "a\xe9\xe9", "1-3"},
    {"[\x80-\xff]", 0, "a\xc3", "1-2"},
    // Back-references: exact bytes, also under case folding.
    {"(a)\\1", 0, "aa", "0-2 0-1"},
    {"(a)\\1", IC, "aA", "none"},
    {"(a|b)c\\1", 0, "aca", "0-3 0-1"},
    {"(a|b)c\\1", 0, "acb", "none"},
    {"(a{1,2})\\1", 0, "aa", "0-2 0-1"},
    {"(a*)\\1", 0, "aaaa", "0-4 0-2"},
    {"(a*)\\1b", 0, "aaab", "1-4 1-2"},
    {"([a-c]*)x\\1", 0, "abxab", "0-5 0-2"},
    {"(a)(b)?\\2", 0, "a", "none"},
    {"((a)|b)*\\2", 0, "aba", "0-3 1-2 0-1"},
    {"(x*)*\\1y", 0, "xxy", "0-3 2-2"},
    {"(.)\\1", 0, "abccd", "2-4 2-3"},
    // Programs that consume no line feed are searched only in lines holding
    // their required literal; anchors and the match start still see the
    // whole subject around such a line.
    {"(add|mul) i32", 0, "sub i32\nmul i32", "8-15 8-11"},
    {"(add|mul) i32", 0, "add i3\nsub i32\nmul i32 add i32", "15-22 15-18"},
    {"^b i", NL, "a b i\nb i", "6-9"},
    {"^b i", 0, "a\nb i", "none"},
    {"v1[0-6] = $", NL, "v17 = \nv16 = x\nv12 = ", "15-21"},
    {"xy[0-9]*", 0, "axy\nxy12", "1-3"},
    {"a[^x]*i32", 0, "a\nb i32", "0-7"},
    {"a[^x]*i32", NL, "a\nb i32", "none"},
    {"(a|b)*c", 0, "ab\nbac", "3-6 4-5"},
};

TEST(RegexMatcherTest, MatchesAndGroups) {
  for (const MatchCase &c : matchCases)
    EXPECT_EQ(matchText(c.pattern, c.flags, c.subject), c.expected)
        << "pattern '" << c.pattern << "' on '" << c.subject << "'";
}

// The one-word state sets must behave exactly like the byte-per-state form.
TEST(RegexMatcherTest, WordAndByteFormsAgree) {
  for (const MatchCase &c : matchCases)
    EXPECT_EQ(matchText(c.pattern, c.flags, c.subject, RegexStateForm::BytePerState),
              c.expected)
        << "pattern '" << c.pattern << "' on '" << c.subject << "'";
}

// Programs past 64 instructions take the byte-per-state form automatically.
TEST(RegexMatcherTest, LongProgram) {
  std::string pattern = "(x+)" + std::string(70, 'a') + "(b|c)";
  std::string subject = "yxx" + std::string(70, 'a') + "c";
  EXPECT_EQ(matchText(pattern, 0, subject), "1-74 1-3 73-74");
}

TEST(RegexMatcherTest, StatusesAndOffsets) {
  std::unique_ptr<RegexProgram> program;
  std::string pattern = "b+";
  ASSERT_EQ(compileRegex(program, pattern.data(), pattern.data() + 2,
                         regexExtended | regexPatternEnd),
            0);
  const char *text = "abbcbbb";
  RegexMatchSlot slots[3];
  EXPECT_EQ(matchRegex(program.get(), text, 3, 7, 3, slots), 0);
  EXPECT_EQ(slots[0].start, 4);
  EXPECT_EQ(slots[0].end, 7);
  EXPECT_EQ(slots[1].start, -1); // beyond the group count
  EXPECT_EQ(matchRegex(program.get(), text, 3, 4, 1, slots), 1);
  EXPECT_EQ(matchRegex(program.get(), text, 4, 3, 1, slots), 16);
  EXPECT_EQ(matchRegex(nullptr, text, 0, 1, 1, slots), 2);
  // "^" holds at the subject's first byte even inside a larger text.
  pattern = "^c";
  ASSERT_EQ(compileRegex(program, pattern.data(), pattern.data() + 2,
                         regexExtended | regexPatternEnd),
            0);
  EXPECT_EQ(matchRegex(program.get(), text, 3, 7, 1, slots), 0);
}

// Empty back-reference matches are bounded, so this ends (without a match).
TEST(RegexMatcherTest, EmptyBackrefLoopTerminates) {
  EXPECT_EQ(matchText("(()\\2)*x", 0, std::string(300, 'a')), "none");
  EXPECT_EQ(matchText("(a*)(\\1)*b", 0, "aaac"), "none");
}

} // namespace

namespace {

// The deepest nesting the compiler accepts, split into groups, stays within
// the stack.
TEST(RegexMatcherTest, DeepNesting) {
  std::string pattern;
  for (int i = 0; i < 1000; ++i)
    pattern += '(';
  pattern += 'a';
  for (int i = 0; i < 1000; ++i)
    pattern += ")*";
  std::string result = matchText(pattern, 0, "baab");
  EXPECT_EQ(result.substr(0, 12), "0-0 0-0 0-0 ");
  result = matchText("x" + pattern, 0, "xaa");
  EXPECT_EQ(result.substr(0, 12), "0-3 3-3 3-3 "); // the last, empty iteration
}

} // namespace

namespace {

// A construct's longest extent must give way to the rest of the pattern:
// here the first group can end anywhere, and only one end leaves room for
// the "x". (That this stays linear in the subject is watched by
// bench/regex_bench.cpp.)
TEST(RegexMatcherTest, GroupSplitOnLongSubject) {
  std::string subject = "x" + std::string(3000, 'a');
  std::string size = std::to_string(subject.size());
  EXPECT_EQ(matchText("(.*)x(.*)", NL, subject), "0-" + size + " 0-0 1-" + size);
  EXPECT_EQ(matchText("(a|x)*x([ab]*)", 0, subject), "0-" + size + " - 1-" + size);
}

// Every start before the match scans to the subject's end and fails there.
TEST(RegexMatcherTest, LeftmostStartAfterManyLongFailedStarts) {
  std::string subject = std::string(3000, 'a') + "b";
  std::string size = std::to_string(subject.size());
  EXPECT_EQ(matchText("[ab]*c|(b)", 0, subject),
            std::to_string(subject.size() - 1) + "-" + size + " " +
                std::to_string(subject.size() - 1) + "-" + size);
}

} // namespace

} // namespace ostrel
