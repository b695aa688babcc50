#include "support/cmdline/ValueParser.h"

#include <gtest/gtest.h>

#include "support/cmdline/ListOption.h"
#include "support/cmdline/SingleValueOption.h"

namespace ostrel {

namespace {

TEST(ValueParser, BooleanWords) {
  struct Case {
    const char *text;
    bool valid;
    bool value;
  } cases[] = {
      {"", true, true},       {"true", true, true},   {"TRUE", true, true},
      {"True", true, true},   {"1", true, true},      {"false", true, false},
      {"FALSE", true, false}, {"False", true, false}, {"0", true, false},
      {"tRUE", false, false}, {"yes", false, false},  {"2", false, false},
      {" 1", false, false},   {"01", false, false},
  };
  for (const Case &c : cases) {
    bool value = !c.value;
    EXPECT_EQ(readBooleanText(c.text, value), c.valid) << c.text;
    if (c.valid) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

TEST(ValueParser, UnsignedTexts) {
  struct Case {
    const char *text;
    bool valid;
    uint64_t value;
  } cases[] = {
      {"0", true, 0},
      {"7", true, 7},
      {"010", true, 8},
      {"09", false, 0},
      {"0x1F", true, 31},
      {"0Xff", true, 255},
      {"0x", false, 0},
      {"0b101", true, 5},
      {"0B101", true, 5},
      {"0o17", true, 15},
      {"0O7", false, 0},
      {"18446744073709551615", true, UINT64_MAX},
      {"18446744073709551616", false, 0},
      {"0xFFFFFFFFFFFFFFFF", true, UINT64_MAX},
      {"0x10000000000000000", false, 0},
      {"-1", false, 0},
      {" 1", false, 0},
      {"1 2", false, 0},
      {"1_000", false, 0},
      {"", false, 0},
      {"12a", false, 0},
  };
  for (const Case &c : cases) {
    uint64_t value = 12345;
    EXPECT_EQ(readUnsignedText(c.text, value), c.valid) << c.text;
    if (c.valid) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

// Options private to this test: registered in the top-level scope of the
// test program, never parsed here, only fed values directly.
SingleValueOption<uint32_t> countOption(OptName{"vp-count"}, OptHelp{"n"});
SingleValueOption<uint64_t> seedOption(OptName{"vp-seed"}, OptHelp{"n"});
SingleValueOption<bool> flagOption(OptName{"vp-flag"}, OptHelp{"b"});
ListOption<int32_t, EnumParser> modeOption(
    OptName{"vp-mode"}, OptHelp{"m"},
    OptValues{{"fail", 1, "on failure"}, {"never", 0, ""}});

std::string feed(CommandOption &option, TextRef text, bool &failed) {
  OptionRegistry::get().programName = "tool";
  testing::internal::CaptureStderr();
  failed = option.recordOccurrence(1, option.name, text, false);
  return testing::internal::GetCapturedStderr();
}

void fresh(CommandOption &option) {
  option.resetToDefault();
  option.occurrences = 0;
}

TEST(ValueParser, WidthLimitsAndMessages) {
  fresh(countOption);
  bool failed = false;
  EXPECT_EQ(feed(countOption, "4294967295", failed), "");
  EXPECT_FALSE(failed);
  EXPECT_EQ(countOption.get(), 4294967295u);
  EXPECT_EQ(feed(countOption, "4294967296", failed),
            "tool: for the --vp-count option: '4294967296' value invalid for uint "
            "argument!\n");
  EXPECT_TRUE(failed);
  EXPECT_EQ(countOption.get(), 4294967295u) << "an error keeps the value";
  EXPECT_EQ(countOption.occurrences, 2u) << "but the occurrence counts";

  EXPECT_EQ(feed(seedOption, "0x", failed),
            "tool: for the --vp-seed option: '0x' value invalid for ulong "
            "argument!\n");
  EXPECT_EQ(feed(flagOption, "yes", failed),
            "tool: for the --vp-flag option: 'yes' is invalid value for boolean "
            "argument! Try 0 or 1\n");
}

TEST(ValueParser, EnumerationMatchesLiteralsExactly) {
  fresh(modeOption);
  bool failed = false;
  EXPECT_EQ(feed(modeOption, "never", failed), "");
  EXPECT_EQ(feed(modeOption, "fail", failed), "");
  EXPECT_EQ(modeOption.values(), (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(feed(modeOption, "Fail", failed),
            "tool: for the --vp-mode option: Cannot find option named 'Fail'!\n");
  EXPECT_TRUE(failed);
  EXPECT_EQ(modeOption.values().size(), 2u);
  EXPECT_EQ(modeOption.valueExpectation(), ValueDemanded);
}

TEST(ValueParser, ThreeStateGoesFromUnsetToTrueOrFalse) {
  int32_t state = 0;
  SingleValueOption<int32_t, ThreeStateParser<int32_t>> option(
      OptHelp{"three"}, OptLocation<int32_t>{state});
  EXPECT_FALSE(option.acceptValue(0, "", ""));
  EXPECT_EQ(state, 1);
  EXPECT_FALSE(option.acceptValue(0, "", "0"));
  EXPECT_EQ(state, 2);
  EXPECT_EQ(option.valueExpectation(), ValueAccepted);
}

} // namespace

} // namespace ostrel
