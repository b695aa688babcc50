#include "support/diag/ColourScope.h"

#include "support/diag/ColourTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {

namespace {

const ColourStyle BoldRed = {.colour = TextColour::Red, .bold = true};

TEST(ColourScopeTest, ScopesFollowPolicyAndPreference) {
  EnvironmentGuard noColor("NO_COLOR", nullptr);
  std::string out;
  StringOutputStream os(out);
  os.allowColours(true);
  {
    PreferenceGuard unset(ColourPreferenceUnset);
    { ColourScope scope(os, BoldRed, ColourPolicy::Auto); }
    EXPECT_EQ(out, "") << "a string stream is no terminal";
    { ColourScope scope(os, {.colour = TextColour::KeepColour}, ColourPolicy::Enable); }
    EXPECT_EQ(out, "\x1b[1m\x1b[0m");
  }
  out.clear();
  {
    PreferenceGuard yes(ColourPreferenceTrue);
    { ColourScope scope(os, BoldRed); }
    EXPECT_EQ(out, "\x1b[0;1;31m\x1b[0m");
    out.clear();
    { ColourScope scope(os, BoldRed, ColourPolicy::Disable); }
    EXPECT_EQ(out, "");
  }
  {
    PreferenceGuard no(ColourPreferenceFalse);
    { ColourScope scope(os, BoldRed, ColourPolicy::Enable); }
    EXPECT_EQ(out, "\x1b[0;1;31m\x1b[0m");
  }
}

// An in-memory stream that claims a destination that shows colours, as a
// colour terminal does.
class ColourTerminalStream : public StringOutputStream {
public:
  using StringOutputStream::StringOutputStream;
  bool supportsColours() const override { return true; }
};

TEST(ColourScopeTest, NoColorSwitchesOffOnlyTheAutomaticDecision) {
  struct Case {
    const char *noColor; // null: unset
    int32_t preference;
    ColourPolicy policy;
    bool colours;
  };
  const Case cases[] = {
      {nullptr, ColourPreferenceUnset, ColourPolicy::Auto, true},
      {"", ColourPreferenceUnset, ColourPolicy::Auto, true},
      {"1", ColourPreferenceUnset, ColourPolicy::Auto, false},
      {"0", ColourPreferenceUnset, ColourPolicy::Auto, false},
      // The "color" option and a caller's own policy still decide.
      {"1", ColourPreferenceTrue, ColourPolicy::Auto, true},
      {"1", ColourPreferenceUnset, ColourPolicy::Enable, true},
      {nullptr, ColourPreferenceFalse, ColourPolicy::Auto, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "NO_COLOR=" << (c.noColor ? c.noColor : "(unset)")
                                    << " preference " << c.preference << " policy "
                                    << static_cast<int>(c.policy));
    EnvironmentGuard noColor("NO_COLOR", c.noColor);
    PreferenceGuard preference(c.preference);
    std::string out;
    ColourTerminalStream os(out);
    os.allowColours(true);
    EXPECT_EQ(coloursWanted(os, c.policy), c.colours);
    { ColourScope scope(os, BoldRed, c.policy); }
    EXPECT_EQ(out, c.colours ? "\x1b[0;1;31m\x1b[0m" : "");
  }
}

} // namespace

} // namespace ostrel
