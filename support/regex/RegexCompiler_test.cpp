#include "support/regex/RegexCompiler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace ostrel {

namespace {

int compileStatus(const std::string &pattern, unsigned flags = 0) {
  std::unique_ptr<RegexProgram> program;
  int status = compileRegex(program, pattern.data(), pattern.data() + pattern.size(),
                            flags | regexExtended | regexPatternEnd);
  EXPECT_EQ(program != nullptr, status == 0) << pattern;
  return status;
}

std::unique_ptr<RegexProgram> compiled(const std::string &pattern, unsigned flags = 0) {
  std::unique_ptr<RegexProgram> program;
  EXPECT_EQ(compileRegex(program, pattern.data(), pattern.data() + pattern.size(),
                         flags | regexExtended | regexPatternEnd),
            0)
      << pattern;
  return program;
}

// The words between the two End words, e.g. "PlusStart2 Char97 PlusEnd2".
std::string layout(const RegexProgram &program) {
  static const char *const names[] = {"?",          "End",        "Char",      "Bol",
                                      "Eol",        "Any",        "AnyOf",     "BackrefStart",
                                      "BackrefEnd", "PlusStart",  "PlusEnd",   "QuestStart",
                                      "QuestEnd",   "LParen",     "RParen",    "ChoiceStart",
                                      "Or1",        "Or2",        "ChoiceEnd", "Bow",
                                      "Eow"};
  std::string out;
  for (size_t k = program.firstState + 1; k < program.lastState; ++k) {
    if (!out.empty())
      out += ' ';
    out += names[unsigned(program.op(k))];
    RegexOp op = program.op(k);
    if (op == RegexOp::Char)
      out += char(program.operand(k));
    else if (op != RegexOp::Bol && op != RegexOp::Eol && op != RegexOp::Any &&
             op != RegexOp::Bow && op != RegexOp::Eow)
      out += std::to_string(program.operand(k));
  }
  return out;
}

struct StatusCase {
  const char *pattern;
  int status;
};

TEST(RegexCompilerTest, Statuses) {
  const StatusCase cases[] = {
      // Valid, including the less obvious literals and anchors.
      {"()", 0}, {"{", 0}, {"a{", 0}, {"a{x}", 0}, {"x^", 0}, {"$*", 0}, {"ba{0}", 0},
      {"a{0}b", 0}, {"[]a]", 0}, {"[a-]", 0}, {"[^-]", 0}, {"[[.].]]", 0}, {"[[=a=]]", 0},
      {"[[.hyphen.]-z]", 0}, {"\\n", 0}, {"(a)\\1", 0}, {"a{255}", 0}, {"[[:<:]]a[[:>:]]", 0},
      // Empty branches, also when counting leaves nothing.
      {"", 14}, {"a||b", 14}, {"|a", 14}, {"a|", 14}, {"(|a)", 14}, {"a{0}", 14},
      {"a{0,0}", 14}, {"(a{0})", 14}, {"b|(x){0}", 14},
      // Counts.
      {"a{2,1}", 10}, {"a{256}", 10}, {"a{1,256}", 10}, {"a{1x}", 10}, {"a{1", 9},
      {"a{1,2", 9}, {"a{1,x", 9},
      // Repetition without an operand.
      {"{1}", 13}, {"a**", 13}, {"a+?", 13}, {"a{1}{2}", 13}, {"^*", 13}, {"*a", 13},
      {"(+a)", 13}, {"a|?", 13},
      // Back-references.
      {"(a)\\2", 6}, {"(a\\1)", 6}, {"\\1", 6}, {"(a){0}b\\1", 6},
      // Brackets.
      {"[a-c-e]", 11}, {"[z-a]", 11}, {"[a-\xff]", 11}, {"[--a]", 11}, {"[a--]", 11},
      // A leading "]" is a plain member, never the start of a range.
      {"[]-a]", 11}, {"[%--]", 0}, {"[[:foo:]]", 4}, {"[[:<:]a]", 4}, {"[[:alpha:", 4},
      {"[[:-:]]", 4}, {"[[:alpha]]", 4}, {"[[.foo.]]", 3}, {"[[=ab=]]", 3}, {"[[=]", 3},
      {"[abc", 7}, {"[", 7}, {"[[:alpha", 7}, {"[[.a", 7}, {"[a-", 7}, {"[[:", 7},
      // Parentheses and backslashes.
      {"(a", 8}, {"a)", 8}, {"(", 8}, {"((a)", 8}, {"a\\", 5},
  };
  for (const StatusCase &c : cases)
    EXPECT_EQ(compileStatus(c.pattern), c.status) << "pattern '" << c.pattern << "'";
}

TEST(RegexCompilerTest, ReversedPatternBoundsAreInvalidArgument) {
  std::unique_ptr<RegexProgram> program;
  const char *text = "ab";
  EXPECT_EQ(compileRegex(program, text + 1, text, regexExtended | regexPatternEnd), 16);
  EXPECT_EQ(program, nullptr);
}

TEST(RegexCompilerTest, ControlLayouts) {
  const std::pair<const char *, const char *> cases[] = {
      {"a+", "PlusStart2 Chara PlusEnd2"},
      {"a*", "QuestStart4 PlusStart2 Chara PlusEnd2 QuestEnd4"},
      {"a?", "ChoiceStart3 Chara Or12 Or21 ChoiceEnd2"},
      {"a|b|c", "ChoiceStart3 Chara Or12 Or23 Charb Or13 Or22 Charc ChoiceEnd3"},
      {"(a)", "LParen1 Chara RParen1"},
      {"a{2}", "Chara Chara"},
      {"a{2,}", "Chara PlusStart2 Chara PlusEnd2"},
      {"a{1,3}", "ChoiceStart3 Chara Or12 Or21 ChoiceEnd2 ChoiceStart3 Chara Or12 Or21 ChoiceEnd2 Chara"},
      {"a{0,1}", "ChoiceStart3 Chara Or12 Or21 ChoiceEnd2"},
      {"a{0,}", "ChoiceStart5 PlusStart2 Chara PlusEnd2 Or14 Or21 ChoiceEnd2"},
      {"ba{0}c", "Charb Charc"},
      {"(a)\\1", "LParen1 Chara RParen1 BackrefStart1 Chara BackrefEnd1"},
      {"^a$", "Bol Chara Eol"},
      {"[[:<:]]a[[:>:]]", "Bow Chara Eow"},
      {"[a]\\.", "Chara Char."},
  };
  for (const auto &[pattern, expected] : cases) {
    auto program = compiled(pattern);
    ASSERT_TRUE(program) << pattern;
    EXPECT_EQ(layout(*program), expected) << "pattern '" << pattern << "'";
    EXPECT_EQ(program->instructions.size(), program->lastState + 1);
    EXPECT_EQ(regexOpOf(program->instructions[program->lastState]), RegexOp::End);
  }
}

TEST(RegexCompilerTest, ProgramFacts) {
  auto program = compiled("^(a(b)+)*$|^c");
  ASSERT_TRUE(program);
  EXPECT_EQ(program->subExpressionCount, 2u);
  EXPECT_EQ(program->startAnchors, 2u);
  EXPECT_EQ(program->endAnchors, 1u);
  EXPECT_EQ(program->internalFlags, unsigned(regexUsesStartAnchor | regexUsesEndAnchor));
  EXPECT_EQ(program->loopDepth, 2u);
  EXPECT_FALSE(program->hasBackrefs);
  program = compiled("(a)\\1");
  ASSERT_TRUE(program);
  EXPECT_TRUE(program->hasBackrefs);
  EXPECT_EQ(program->loopDepth, 0u);
  // More than nine groups are counted, though only \1-\9 can refer to them.
  program = compiled("(((((((((((a)))))))))))");
  ASSERT_TRUE(program);
  EXPECT_EQ(program->subExpressionCount, 11u);
}

TEST(RegexCompilerTest, RequiredLiteral) {
  const std::pair<const char *, const char *> cases[] = {
      {"abc*d", "ab"},          {"x(abc)+y", "xabc"}, {"a|bc", ""},
      {"[a]bc", "abc"},         {"ab?cd", "cd"},       {"foo[0-9]+bar", "foo"},
      {"(a)\\1xy", "xy"},       {"a.bc", "bc"},        {"a{3}", "aaa"},
  };
  for (const auto &[pattern, expected] : cases) {
    auto program = compiled(pattern);
    ASSERT_TRUE(program);
    EXPECT_EQ(program->requiredLiteral, expected) << "pattern '" << pattern << "'";
  }
  // Under ignore case letters are sets, so they are no literal.
  auto program = compiled("ab1", regexIgnoreCase);
  ASSERT_TRUE(program);
  EXPECT_EQ(program->requiredLiteral, "1");
}

TEST(RegexCompilerTest, BracketSets) {
  auto members = [](const CharSet &set) {
    std::string out;
    for (int c = 0; c < 256; ++c)
      if (set.has((unsigned char)c))
        out += char(c);
    return out;
  };
  const std::pair<const char *, const char *> cases[] = {
      {"[]a]", "]a"},
      {"[a-]", "-a"},
      {"[[:digit:]x]", "0123456789x"},
      {"[[:xdigit:]]", "0123456789ABCDEFabcdef"},
      {"[[:blank:]]", "\t "},
      {"[[:space:]]", "\t\n\v\f\r "},
      {"[[.space.][.tilde.]]", " ~"},
      {"[[=a=]b]", "ab"},
      {"[[.-.]-0]", "-./0"},
      {"[%--]", "%&'()*+,-"},
  };
  for (const auto &[pattern, expected] : cases) {
    auto program = compiled(pattern);
    ASSERT_TRUE(program) << pattern;
    ASSERT_EQ(program->sets.size(), 1u) << pattern;
    EXPECT_EQ(members(program->sets[0]), expected) << "pattern '" << pattern << "'";
  }
  std::string punct;
  for (int c = 0; c < 128; ++c)
    if (c > 32 && c < 127 && !isalnum(c))
      punct += char(c);
  auto program = compiled("[[:punct:]]");
  ASSERT_TRUE(program);
  EXPECT_EQ(members(program->sets[0]), punct);
  // A "-" right after "^" is a member, not the start of a range; the
  // negation keeps every other byte, those above 0x7f included.
  program = compiled("[^-~]");
  ASSERT_TRUE(program);
  EXPECT_EQ(program->sets[0].count(), 254u);
  EXPECT_FALSE(program->sets[0].has('-'));
  EXPECT_FALSE(program->sets[0].has('~'));
  EXPECT_TRUE(program->sets[0].has('a'));
  EXPECT_TRUE(program->sets[0].has(0xff));
  program = compiled("[[:cntrl:]]");
  ASSERT_TRUE(program);
  EXPECT_EQ(program->sets[0].count(), 32u);
  EXPECT_FALSE(program->sets[0].has(0));

  // Identical sets are shared; a one-member set is a plain character.
  program = compiled("[ab]x[ba][ab]*[b]");
  ASSERT_TRUE(program);
  EXPECT_EQ(program->sets.size(), 1u);
  EXPECT_EQ(layout(*program), "AnyOf0 Charx AnyOf0 QuestStart4 PlusStart2 AnyOf0 PlusEnd2 QuestEnd4 Charb");

  // Ignore case: letters become two-member sets, negation excludes both.
  program = compiled("a[^b]1", regexIgnoreCase);
  ASSERT_TRUE(program);
  ASSERT_EQ(program->sets.size(), 2u);
  EXPECT_EQ(members(program->sets[0]), "Aa");
  EXPECT_FALSE(program->sets[1].has('b'));
  EXPECT_FALSE(program->sets[1].has('B'));
  EXPECT_EQ(program->sets[1].count(), 254u);

  // Newline-sensitive: "." and negated sets leave out the line feed.
  program = compiled(".[^x]", regexNewline);
  ASSERT_TRUE(program);
  ASSERT_EQ(program->sets.size(), 2u);
  EXPECT_FALSE(program->sets[0].has('\n'));
  EXPECT_EQ(program->sets[0].count(), 255u);
  EXPECT_FALSE(program->sets[1].has('\n'));
  EXPECT_EQ(program->sets[1].count(), 254u);
  program = compiled("[\\n]", regexNewline);
  ASSERT_TRUE(program);
  EXPECT_EQ(members(program->sets[0]), "\\n");
}

TEST(RegexCompilerTest, ErrorTexts) {
  const std::pair<int, const char *> cases[] = {
      {1, "varnix_regexec() failed to match"},
      {2, "invalid regular expression"},
      {3, "invalid collating element"},
      {4, "invalid character class"},
      {5, "trailing backslash (\\)"},
      {6, "invalid backreference number"},
      {7, "brackets ([ ]) not balanced"},
      {8, "parentheses not balanced"},
      {9, "braces not balanced"},
      {10, "invalid repetition count(s)"},
      {11, "invalid character range"},
      {12, "out of memory"},
      {13, "repetition-operator operand invalid"},
      {14, "empty (sub)expression"},
      {15, "\"can't happen\" -- you found a bug"},
      {16, "invalid argument to regex routine"},
      {0, "*** unknown regexp error code ***"},
      {17, "*** unknown regexp error code ***"},
  };
  char buffer[64];
  for (const auto &[code, text] : cases) {
    EXPECT_EQ(regexErrorText(code, buffer, sizeof buffer), strlen(text) + 1);
    EXPECT_STREQ(buffer, text);
  }
  // Truncated to the buffer, always terminated; nothing written for size 0.
  EXPECT_EQ(regexErrorText(8, buffer, 5), strlen("parentheses not balanced") + 1);
  EXPECT_STREQ(buffer, "pare");
  buffer[0] = 'x';
  EXPECT_EQ(regexErrorText(8, buffer, 0), strlen("parentheses not balanced") + 1);
  EXPECT_EQ(buffer[0], 'x');
}

// Hostile patterns end in a program or an error code, without exhausting the
// stack or memory.
TEST(RegexCompilerTest, HostilePatterns) {
  EXPECT_EQ(compileStatus(std::string(100000, '(')), 12);
  EXPECT_EQ(compileStatus(std::string(100000, '(') + "a" + std::string(100000, ')')), 12);
  EXPECT_EQ(compileStatus(std::string(100000, ')')), 8);
  EXPECT_EQ(compileStatus(std::string(900, '(') + "a" + std::string(900, ')')), 0);
  EXPECT_EQ(compileStatus("((a{255}){255}){255}"), 12);
  EXPECT_EQ(compileStatus(std::string("a\0b", 3)), 0);
  EXPECT_EQ(compileStatus(std::string(100000, '[')), 7);
  EXPECT_EQ(compileStatus(std::string(50000, 'a') + "|" + std::string(49999, '\\')), 5);
}

} // namespace

} // namespace ostrel
