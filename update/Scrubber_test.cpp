#include "update/Scrubber.h"

#include <gtest/gtest.h>

namespace {

std::vector<Scrubber> rulesFor(std::initializer_list<TextRef> names) {
  std::vector<Scrubber> rules;
  for (TextRef name : names) {
    std::string error;
    auto found = parseScrubOption(name, error);
    EXPECT_TRUE(found) << name << ": " << error;
    if (found)
      for (Scrubber &rule : *found)
        rules.push_back(std::move(rule));
  }
  return rules;
}

/// The values found in `line`, as "STEM=text" words.
std::vector<std::string> valuesIn(TextRef line, const std::vector<Scrubber> &rules) {
  std::vector<ScrubSpan> spans;
  findScrubSpans(line, rules, spans);
  std::vector<std::string> words;
  for (const ScrubSpan &span : spans)
    words.push_back(rules[span.rule].stem + "=" +
                    std::string(line.substr(span.start, span.end - span.start)));
  return words;
}

TEST(Scrubber, BuiltInsFindTheirValuesAndNoWords) {
  auto rules = rulesFor({"hex", "tmp", "date", "time", "duration"});
  const std::pair<const char *, std::vector<std::string>> cases[] = {
      {"at 0x7ffd12ab and 0XG", {"HEX=0x7ffd12ab"}},
      {"hash 3f2a9b1c0d, word deadbeefcafe, x0x12", {"HEX=3f2a9b1c0d"}},
      {"wrote /tmp/lit-tmp-9x/out.o: ok", {"TMP=/tmp/lit-tmp-9x/out.o"}},
      {"in /private/var/tmp/a and /usr/tmp/b", {"TMP=/private/var/tmp/a"}},
      {"2026-12-10T13:36:46.120 and 2026/01/02", {"DATE=2026-12-10", "TIME=13:36:46.120",
                                                   "DATE=2026/01/02"}},
      {"took 12ms, 1.5 s and 3 seconds; 4 more", {"DURATION=12ms", "DURATION=1.5 s",
                                                  "DURATION=3 seconds"}},
      {"version 12345 and x86", {}},
  };
  for (const auto &[line, expected] : cases)
    EXPECT_EQ(valuesIn(line, rules), expected) << line;
}

TEST(Scrubber, UserRulesComeFirstAndValuesNeverOverlap) {
  auto rules = rulesFor({"ID=id-[0-9]+", "hex"});
  EXPECT_EQ(valuesIn("id-12345678 0x1f id-7", rules),
            (std::vector<std::string>{"ID=id-12345678", "HEX=0x1f", "ID=id-7"}));
}

TEST(Scrubber, RejectsWhatACheckFileCannotHold) {
  const std::pair<const char *, const char *> cases[] = {
      {"nosuch", "unknown scrubber 'nosuch'"},
      {"1X=a", "scrubber name '1X'"},
      {"X1=a", "scrubber name 'X1'"},
      {"X=", "empty expression"},
      {"X=a(", "invalid regular expression"},
      {"X=a}}b", "holds \"}}\""},
  };
  for (const auto &[value, message] : cases) {
    std::string error;
    EXPECT_FALSE(parseScrubOption(value, error)) << value;
    EXPECT_NE(error.find(message), std::string::npos) << value << ": " << error;
  }
}

TEST(Scrubber, KnowsWhenAnExpressionFitsAVariableDefinition) {
  const std::tuple<const char *, const char *, bool> cases[] = {
      {"X=[0-9]+", "[0-9]+", true},
      {"X=[]a]+", "[]a]+", false}, // the reader would end the definition early
      {"X=a]", "a]", false},
      {"X=a{2}", "(a{2})", true}, // a final "}" would run into the closing braces
  };
  for (const auto &[value, written, capturable] : cases) {
    std::string error;
    auto rules = parseScrubOption(value, error);
    ASSERT_TRUE(rules) << error;
    EXPECT_EQ(rules->front().written, written) << value;
    EXPECT_EQ(rules->front().capturable, capturable) << value;
  }
}

} // namespace
