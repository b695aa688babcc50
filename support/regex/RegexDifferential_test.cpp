// Compares the engine with the C library's POSIX regcomp/regexec on many
// small generated expressions: whether they match, and the extent of the
// whole match. Group extents are not compared; the two legitimately differ
// in how sub-matches are split.
//
// Two constructs are kept out because the C library (glibc) answers them
// differently from POSIX, and from us:
// - an anchor inside a repeated group: glibc checks it on the first
//   iteration only, so '(^a){2}' matches "aaaa" there;
// - an anchor next to a line feed that the pattern consumes without
//   REG_NEWLINE: glibc lets '.^' and '$.' match across "\n" although only
//   the subject's ends are line ends then. Without newline sensitivity,
//   patterns with anchors therefore get subjects without line feeds.

#include "support/regex/CompiledRegex.h"
#include "support/regex/RegexCompiler.h"
#include "support/regex/RegexMatcher.h"

#include <gtest/gtest.h>

#include <random>
#include <regex.h>
#include <string>

namespace ostrel {

namespace {

class ExpressionGenerator {
public:
  explicit ExpressionGenerator(uint32_t seed) : random(seed) {}

  int anchors = 0; // how many anchors were generated so far
  bool allowAnchors = true;

  std::string expression(int depth) {
    std::string out = branch(depth);
    while (chance(6))
      out += "|" + branch(depth);
    return out;
  }

  std::string subject(bool lineFeeds) {
    static const char alphabet[] = "abAc\n";
    std::string out;
    for (int n = pick(8); n > 0; --n)
      out += alphabet[pick(lineFeeds ? 5 : 4)];
    return out;
  }

private:
  std::mt19937 random;
  int pick(int n) { return int(random() % unsigned(n)); }
  bool chance(int oneIn) { return pick(oneIn) == 0; }

  std::string branch(int depth) {
    std::string out;
    for (int n = 1 + pick(3); n > 0; --n)
      out += piece(depth);
    return out;
  }

  std::string piece(int depth) {
    static const char *const atoms[] = {"a", "b", "c", ".", "[ab]", "[^a]", "[a-b]",
                                        "[[:alpha:]]", "[^[:space:]]", "\\.", "A", "[^[:lower:]]"};
    if (allowAnchors && chance(12)) {
      ++anchors;
      return chance(2) ? "^" : "$"; // an anchor takes no operator
    }
    int anchorsBefore = anchors;
    std::string atom = depth < 3 && chance(4) ? "(" + expression(depth + 1) + ")"
                                              : atoms[pick(sizeof atoms / sizeof *atoms)];
    static const char *const operators[] = {"*", "+", "?", "{2}", "{1,2}", "{0,2}", "{2,}", "{0,1}"};
    if (anchors == anchorsBefore && chance(3))
      atom += operators[pick(sizeof operators / sizeof *operators)];
    return atom;
  }
};

// The C library's answer as "start-end", "none" or "invalid".
std::string libcMatch(const std::string &pattern, unsigned flags, const std::string &subject) {
  regex_t compiled;
  int libcFlags = REG_EXTENDED;
  if (flags & CompiledRegex::newlineSensitive)
    libcFlags |= REG_NEWLINE;
  if (flags & CompiledRegex::ignoreCase)
    libcFlags |= REG_ICASE;
  if (regcomp(&compiled, pattern.c_str(), libcFlags) != 0)
    return "invalid";
  regmatch_t slot[1];
  int status = regexec(&compiled, subject.c_str(), 1, slot, 0);
  regfree(&compiled);
  if (status != 0)
    return "none";
  return std::to_string(slot[0].rm_so) + "-" + std::to_string(slot[0].rm_eo);
}

std::string visible(const std::string &text) {
  std::string out;
  for (char c : text)
    out += c == '\n' ? std::string("\\n") : std::string(1, c);
  return out;
}

std::string ownMatch(const CompiledRegex &regex, const std::string &subject) {
  std::string error;
  if (!regex.checkValid(error))
    return "invalid";
  std::vector<TextRef> groups;
  if (!regex.search(subject, &groups))
    return "none";
  return std::to_string(groups[0].data() - subject.data()) + "-" +
         std::to_string(groups[0].data() - subject.data() + groups[0].size());
}

// How often the reference answered each way: a generator that drifted to
// (almost) only matches or only misses would compare little of interest.
struct AnswerMix {
  int matches = 0;
  int misses = 0;
  void count(const std::string &answer) {
    if (answer == "none")
      ++misses;
    else if (answer != "invalid")
      ++matches;
  }
  void expectBothKinds() const {
    int total = matches + misses;
    EXPECT_GT(matches, total / 20) << matches << " matches, " << misses << " misses";
    EXPECT_GT(misses, total / 20) << matches << " matches, " << misses << " misses";
  }
};

TEST(RegexDifferentialTest, WholeMatchAgreesWithLibc) {
  ExpressionGenerator generator(20261210);
  AnswerMix mix;
  for (int round = 0; round < 12000; ++round) {
    generator.anchors = 0;
    std::string pattern = generator.expression(0);
    unsigned flags = unsigned(round % 4); // every combination of the two flags
    bool newlineSensitive = flags & CompiledRegex::newlineSensitive;
    bool lineFeeds = newlineSensitive || generator.anchors == 0;
    CompiledRegex regex(pattern, flags);
    for (int n = 0; n < 6; ++n) {
      std::string subject = generator.subject(lineFeeds);
      // One long subject per expression, as a check over a large range has.
      for (int part = 0; n == 0 && part < 120; ++part)
        subject += generator.subject(lineFeeds);
      std::string expected = libcMatch(pattern, flags, subject);
      EXPECT_EQ(ownMatch(regex, subject), expected)
          << "pattern '" << pattern << "' on '" << visible(subject) << "'"
          << " with flags " << flags;
      mix.count(expected);
    }
  }
  mix.expectBothKinds();
}

// Back-references are an extension in the C library, but its whole-match
// answers follow the same leftmost-longest rule, so they are compared too.
TEST(RegexDifferentialTest, BackReferencesAgreeWithLibc) {
  ExpressionGenerator generator(4242);
  generator.allowAnchors = false;
  AnswerMix mix;
  for (int round = 0; round < 3000; ++round) {
    std::string pattern = "(" + generator.expression(1) + ")" + generator.expression(2) + "\\1";
    if (round % 2)
      pattern += generator.expression(2);
    // The C library refuses a reference to a group in another alternative
    // ("(a)|b\1"); ours compiles it and it never matches there.
    if (libcMatch(pattern, 0, "") == "invalid")
      continue;
    CompiledRegex regex(pattern);
    for (int n = 0; n < 5; ++n) {
      std::string subject = generator.subject(false);
      std::string expected = libcMatch(pattern, 0, subject);
      EXPECT_EQ(ownMatch(regex, subject), expected)
          << "pattern '" << pattern << "' on '" << subject << "'";
      mix.count(expected);
    }
  }
  mix.expectBothKinds();
}

// The lengths of the matches of an expression from every start in a subject,
// against the C library matching the expression as a whole ("^(E)$") on each
// piece of the subject: with no anchor in the expression, the bytes around
// the piece cannot change the answer.
TEST(RegexDifferentialTest, MatchLengthsAgreeWithLibc) {
  ExpressionGenerator generator(1211);
  generator.allowAnchors = false;
  AnswerMix mix;
  std::vector<uint64_t> lengths;
  for (int round = 0; round < 1500; ++round) {
    std::string pattern = generator.expression(0);
    unsigned flags = unsigned(round % 4);
    CompiledRegex regex(pattern, flags);
    std::string whole = "^(" + pattern + ")$";
    std::string subject = generator.subject(true) + generator.subject(true);
    for (size_t from = 0; from <= subject.size(); ++from) {
      size_t scanned = 0;
      bool found = regex.matchLengths(subject, from, subject.size(), lengths, scanned);
      std::string own, expected;
      for (size_t length = 0; from + length <= subject.size(); ++length) {
        std::string answer = libcMatch(whole, flags, subject.substr(from, length));
        if (answer == "invalid")
          break;
        mix.count(answer);
        if (answer == "0-" + std::to_string(length))
          expected += std::to_string(length) + " ";
        if (found && length / 64 < lengths.size() && (lengths[length / 64] >> (length % 64) & 1))
          own += std::to_string(length) + " ";
        if (own.size() != expected.size() || own != expected) {
          ADD_FAILURE() << "pattern '" << pattern << "' from " << from << " of '"
                        << visible(subject) << "' with flags " << flags << ": lengths " << own
                        << "against " << expected;
          break;
        }
      }
      EXPECT_LE(scanned, subject.size() - from);
    }
  }
  mix.expectBothKinds();
}

// Every slot, groups included, for one state-set form; "none" for no match.
std::string allSlots(const RegexProgram &program, const std::string &subject, RegexStateForm form) {
  std::vector<RegexMatchSlot> slots(program.subExpressionCount + 1);
  if (matchRegex(&program, subject.data(), 0, subject.size(), slots.size(), slots.data(), form) != 0)
    return "none";
  std::string out;
  for (const RegexMatchSlot &slot : slots)
    out += std::to_string(slot.start) + "-" + std::to_string(slot.end) + " ";
  return out;
}

// The one-word state sets and the byte-per-state form split matches into
// groups identically, on the same generated expressions (with anchors
// anywhere, since no outside reference is involved).
TEST(RegexDifferentialTest, StateFormsAgreeOnGroups) {
  ExpressionGenerator generator(7);
  for (int round = 0; round < 4000; ++round) {
    std::string pattern = generator.expression(0);
    std::unique_ptr<RegexProgram> program;
    unsigned flags = regexExtended | regexPatternEnd | (round % 2 ? regexNewline : 0u);
    if (compileRegex(program, pattern.data(), pattern.data() + pattern.size(), flags) != 0)
      continue;
    for (int n = 0; n < 4; ++n) {
      std::string subject = generator.subject(true);
      for (int part = 0; n == 0 && part < 120; ++part)
        subject += generator.subject(true);
      EXPECT_EQ(allSlots(*program, subject, RegexStateForm::Automatic),
                allSlots(*program, subject, RegexStateForm::BytePerState))
          << "pattern '" << pattern << "' on '" << visible(subject) << "'";
    }
  }
}

} // namespace

} // namespace ostrel
