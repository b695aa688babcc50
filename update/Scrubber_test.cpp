#include "update/Scrubber.h"

#include <gtest/gtest.h>

namespace ostrel {

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
  orderScrubbers(rules);
  const std::pair<const char *, std::vector<std::string>> cases[] = {
      {"at 0x7ffd12ab and 0XG", {"HEX=0x7ffd12ab"}},
      {"hash 3f2a9b1c0d, word deadbeefcafe, x0x12", {"HEX=3f2a9b1c0d"}},
      // The temporary folder, not the file name after it.
      {"wrote /tmp/lit-tmp-9x/out.o: ok", {"TMP=/tmp/lit-tmp-9x"}},
      {"in /private/var/tmp/a and /usr/tmp/b", {"TMP=/private/var/tmp/a"}},
      {"at /tmp/lit-deadbeef12/out.o", {"TMP=/tmp/lit-deadbeef12"}},
      {"2026-12-10T13:36:46.120 and 2026/01/02", {"DATE=2026-12-10T13:36:46.120",
                                                   "DATE=2026/01/02"}},
      {"at 2026-12-10T20:15:03Z, 2026-12-10 20:15:03+01:00", {"DATE=2026-12-10T20:15:03Z",
                                                               "DATE=2026-12-10 20:15:03+01:00"}},
      {"Thu Dec 10 20:15:03 UTC 2026", {"DATE=Thu Dec 10 20:15:03 UTC 2026"}},
      {"Date: Thu, 10 Dec 2026 20:15:03 +0000", {"DATE=Thu, 10 Dec 2026 20:15:03 +0000"}},
      {"Dec  9 08:01:02 host sshd[42]: ok", {"DATE=Dec  9 08:01:02"}},
      {"at 13:36:46 or 1:02:03 PM, not main.c:12:34:", {"TIME=13:36:46", "TIME=1:02:03 PM"}},
      {"took 12ms, 1.5 s and 3 seconds; 4 more", {"DURATION=12ms", "DURATION=1.5 s",
                                                  "DURATION=3 seconds"}},
      {"real 0m1.234s, 1h2m3s", {"DURATION=0m1.234s", "DURATION=1h2m3s"}},
      {"version 12345 and x86", {}},
  };
  for (const auto &[line, expected] : cases)
    EXPECT_EQ(valuesIn(line, rules), expected) << line;
}

TEST(Scrubber, AddressesOfDisassemblyLeaveImmediatesChecked) {
  auto rules = rulesFor({"addr"});
  const std::pair<const char *, std::vector<std::string>> cases[] = {
      {"0000000000001139 <main>:", {"ADDR=0000000000001139"}},
      {" 1139: 55 push %rbp", {"ADDR=1139"}},
      {" 114e: b8 00 00 00 00 mov $0x0,%eax", {"ADDR=114e"}},
      {" 1149: e8 e2 fe ff ff call 1030 <puts@plt>", {"ADDR=1149", "ADDR=1030"}},
      {" 1150: jmp 1160 <main+0x27>", {"ADDR=1150", "ADDR=1160", "ADDR=0x27"}},
      {"mov $0xff,%eax", {}},
  };
  for (const auto &[line, expected] : cases)
    EXPECT_EQ(valuesIn(line, rules), expected) << line;
}

TEST(Scrubber, ManyValuesOnOneLineCostLinearTime) {
  // 200,000 values took minutes while each value was compared with every
  // value found before it.
  std::string line;
  for (int i = 0; i < 200000; ++i)
    line += "0x" + std::to_string(i) + " /tmp/d" + std::to_string(i) + "/f ";
  auto rules = rulesFor({"ID=x[0-9]", "tmp", "hex"});
  std::vector<ScrubSpan> spans;
  findScrubSpans(line, rules, spans);
  EXPECT_EQ(spans.size(), 400000u);
}

TEST(Scrubber, UserRulesComeFirstAndValuesNeverOverlap) {
  auto rules = rulesFor({"hex", "ID=id-[0-9]+"});
  orderScrubbers(rules);
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
      {"E=a*", "matches the empty text"},
      {"E=x|y?", "matches the empty text"},
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

} // namespace ostrel
