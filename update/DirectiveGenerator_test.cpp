#include "update/DirectiveGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>

namespace ostrel {

namespace {

struct GeneratorCase {
  const char *what;
  const char *output;
  std::vector<const char *> scrubs;
  bool numbers;
  std::vector<std::string> expected;
};

GeneratorSettings settingsFor(const std::vector<const char *> &scrubs, bool numbers) {
  GeneratorSettings settings;
  settings.scrubNumbers = numbers;
  settings.labels.emplace_back(TextRef("^fn "));
  for (const char *name : scrubs) {
    std::string error;
    auto rules = parseScrubOption(name, error);
    EXPECT_TRUE(rules) << error;
    for (Scrubber &rule : *rules)
      settings.scrubbers.push_back(std::move(rule));
  }
  return settings;
}

std::vector<std::string> directivesOf(const GeneratedDirectives &generated) {
  std::vector<std::string> all;
  for (const DirectiveBlock &block : generated.blocks)
    all.insert(all.end(), block.directives.begin(), block.directives.end());
  return all;
}

TEST(DirectiveGenerator, WritesEachLineSoThatItMatchesLiterally) {
  const GeneratorCase cases[] = {
      // Outputs as the checker prepares them: blank runs already folded.
      {"kinds, and blanks dropped at the ends",
       "first\n\n a b \nfn main\nbody\n", {}, false,
       {"CHECK: first", "CHECK-EMPTY:", "CHECK-NEXT: a b", "CHECK-LABEL: fn main",
        "CHECK-NEXT: body"}},
      {"an empty first line and a line of blanks",
       "\n \nx\n", {}, false, {"CHECK: {{^$}}", "CHECK-NEXT: {{^ $}}", "CHECK-NEXT: x"}},
      {"trailing blanks before a line of blanks are covered",
       "x \n \n", {}, false, {"CHECK: x{{ }}", "CHECK-NEXT: {{^ $}}"}},
      {"braces and brackets alone need only LITERAL",
       "a {{b}} [[c]] {x} [y]\n", {}, false, {"CHECK{LITERAL}: a {{b}} [[c]] {x} [y]"}},
      {"with a value, each opening pair and a brace before a block are escaped",
       "{{ 0x1f {0x2e [[ [0x3d\n", {"hex"}, false,
       {"CHECK: {{\\{}}{ {{0x[0-9a-fA-F]+}} {{\\{}}{{0x[0-9a-fA-F]+}} {{\\[}}[ "
        "[{{0x[0-9a-fA-F]+}}"}},
      {"a carriage return inside a line",
       "a\rb\n", {}, false, {"CHECK: a{{[[.CR.]]}}b"}},
      {"a recurring value is captured, then used; in its own line as a back-reference",
       "0xab 0xab\nfn 0xab\n0xab 0xcd\n", {"hex"}, false,
       {"CHECK: [[HEX1:0x[0-9a-fA-F]+]] [[HEX1]]", "CHECK-LABEL: fn {{0x[0-9a-fA-F]+}}",
        "CHECK-NEXT: [[HEX1]] {{0x[0-9a-fA-F]+}}"}},
      {"numbers: the latest equal or near value of an earlier line, never of the same line",
       "size 40 40\nend 44\nagain 40 at 0100 of 12345678901234567890\n", {}, true,
       {"CHECK: size {{[0-9]+}} [[#N1:]]", "CHECK-NEXT: end [[#N1+4]]",
        "CHECK-NEXT: again [[#N1]] at {{[0-9]+}} of {{[0-9]+}}"}},
      {"words with digits are not numbers", "x86 utf8 v2\n", {}, true,
       {"CHECK: x86 utf8 v2"}},
  };
  for (const GeneratorCase &c : cases) {
    GeneratedDirectives generated = generateDirectives(c.output, settingsFor(c.scrubs, c.numbers));
    EXPECT_EQ(generated.refusal, "") << c.what;
    EXPECT_EQ(directivesOf(generated), c.expected) << c.what;
  }
}

TEST(DirectiveGenerator, BackReferencesStopAtTheNinthGroup) {
  // Ten one-group values before the repeat: the use would be group 10.
  std::string line;
  for (int i = 0; i < 10; ++i)
    line += "0x" + std::to_string(i) + " ";
  line += "0xff 0xff\n";
  std::vector<std::string> directives =
      directivesOf(generateDirectives(line, settingsFor({"hex"}, false)));
  ASSERT_EQ(directives.size(), 1u);
  EXPECT_NE(directives[0].find("[[HEX1:0x[0-9a-fA-F]+]] {{0x[0-9a-fA-F]+}}"), std::string::npos)
      << directives[0];
}

TEST(DirectiveGenerator, WholeLineWhitespaceKeepsEveryBlank) {
  GeneratorSettings settings;
  settings.checker.strictWhitespace = true;
  settings.checker.matchFullLines = true;
  EXPECT_EQ(directivesOf(generateDirectives(" a\t \n\n \n", settings)),
            (std::vector<std::string>{"CHECK: a\t ", "CHECK-EMPTY:", "CHECK-NEXT: "}));
  // With full lines only, text that would open a block is escaped, since
  // LITERAL would give up the whole-line match.
  settings.checker.strictWhitespace = false;
  EXPECT_EQ(directivesOf(generateDirectives("a{{b\n", settings)),
            (std::vector<std::string>{"CHECK: a{{\\{}}{b"}));
}

TEST(DirectiveGenerator, ScopedVariablesStartAgainAfterEachLabel) {
  GeneratorSettings settings = settingsFor({"hex"}, false);
  settings.checker.enableVarScope = true;
  EXPECT_EQ(directivesOf(generateDirectives("0xa 0xa\nfn f\n0xa 0xa\n", settings)),
            (std::vector<std::string>{"CHECK: [[HEX1:0x[0-9a-fA-F]+]] [[HEX1]]", "CHECK-LABEL: fn f",
                                      "CHECK-NEXT: [[HEX2:0x[0-9a-fA-F]+]] [[HEX2]]"}));
}

} // namespace

namespace {

TEST(DirectiveGenerator, CutsALongLineIntoDirectivesOnTheSameLine) {
  std::string line;
  for (int i = 0; i < 40; ++i)
    line += "0x" + std::to_string(i) + " ";
  std::vector<std::string> directives =
      directivesOf(generateDirectives(line + "\n", settingsFor({"hex"}, false)));
  ASSERT_GE(directives.size(), 3u); // at most 16 blocks each
  EXPECT_TRUE(directives[0].starts_with("CHECK: {{0x"));
  for (size_t i = 1; i < directives.size(); ++i)
    EXPECT_TRUE(directives[i].starts_with("CHECK-SAME: {{0x")) << directives[i];
  GeneratorSettings whole = settingsFor({"hex"}, false);
  whole.checker.matchFullLines = true;
  for (int i = 0; i < 40; ++i)
    line += line.substr(0, 6);
  GeneratedDirectives refused = generateDirectives(line + line + "\n", whole);
  EXPECT_NE(refused.refusal.find("--match-full-lines cannot cut"), std::string::npos);
}

} // namespace

TEST(DirectiveGenerator, EachLabelBlockCarriesTheKeyOfItsOwnLabel) {
  GeneratedDirectives generated =
      generateDirectives("head\nfn one\nbody\nfn two\n", settingsFor({}, false));
  ASSERT_EQ(generated.blocks.size(), 3u);
  EXPECT_EQ(generated.blocks[0].labelKey, "");
  EXPECT_EQ(generated.blocks[1].labelKey, labelKey(false, "fn one"));
  EXPECT_EQ(generated.blocks[2].labelKey, labelKey(false, "fn two"));
}

TEST(DirectiveGenerator, RelatesOnlyValuesWhoseEqualityMeansSomething) {
  const std::tuple<const char *, const char *, std::vector<const char *>, bool, bool> cases[] = {
      {"equal dates, times and durations stay plain",
       "at 2026-12-10 12:00:01 took 5ms\nat 2026-12-10 12:00:01 took 5ms\n",
       {"date", "time", "duration"}, false, false},
      {"equal addresses and paths are related", "0x1f /tmp/a/b\n0x1f /tmp/a/c\n",
       {"hex", "tmp"}, false, true},
      {"numbers of neighbouring lines are related", "pid 42\nx\npid 43\n", {}, true, true},
      {"numbers further apart than 4 lines are not", "pid 42\na\nb\nc\nd\npid 42\n", {}, true,
       false},
  };
  for (const auto &[what, output, scrubs, numbers, related] : cases) {
    std::vector<std::string> directives =
        directivesOf(generateDirectives(output, settingsFor(scrubs, numbers)));
    bool captured = std::any_of(directives.begin(), directives.end(), [](const std::string &d) {
      return d.find("[[") != std::string::npos;
    });
    EXPECT_EQ(captured, related) << what;
  }
}

TEST(DirectiveGenerator, RefusesTwoLabelLinesOfTheSameText) {
  GeneratedDirectives generated = generateDirectives("fn a\nx\nfn a\n", settingsFor({}, false));
  EXPECT_EQ(generated.refusal, "--label='^fn ' matches two lines of the same text, 1 and 3 of the "
                               "output ('fn a'), which a label cannot tell apart");
  EXPECT_TRUE(generated.blocks.empty());
}

TEST(DirectiveGenerator, TellsWhichLabelsAndScrubbersFoundNothing) {
  GeneratorSettings settings = settingsFor({"hex", "date"}, false);
  settings.labels.emplace_back(TextRef("^never"));
  GeneratedDirectives generated = generateDirectives("fn f\n0x12\n", settings);
  EXPECT_EQ(generated.labelMatched, (std::vector<bool>{true, false}));
  EXPECT_EQ(generated.stemsFound, (std::set<std::string>{"HEX"}));
}

TEST(DirectiveGenerator, WholePinsLinesAndTheEndOfTheOutput) {
  GeneratorSettings settings;
  settings.whole = true;
  EXPECT_EQ(directivesOf(generateDirectives(" a  b \n\n{{x\n", settings)),
            (std::vector<std::string>{"CHECK: {{^}} a  b {{$}}", "CHECK-EMPTY:",
                                      "CHECK-NEXT: {{^}}{{\\{}}{x{{$}}",
                                      "CHECK-NOT: {{[[:space:]](.|[[:space:]])}}"}));
}

} // namespace ostrel
