#include "support/cmdline/ColourOption.h"

#include <gtest/gtest.h>

#include "support/diag/ColourScope.h"

namespace ostrel {

namespace {

TEST(ColourOption, StoresTheColourPreference) {
  ColourOptionType &option = colourOption();
  EXPECT_EQ(&option, &colourOption());
  EXPECT_EQ(option.name, "color");
  ASSERT_EQ(option.categories.size(), 1u);
  EXPECT_EQ(option.categories[0]->name, "Color Options");
  EXPECT_EQ(option.valueExpectation(), ValueAccepted);

  int32_t saved = colourPreference;
  EXPECT_FALSE(option.recordOccurrence(1, "color", "", false));
  EXPECT_EQ(colourPreference, ColourPreferenceTrue);
  EXPECT_FALSE(option.recordOccurrence(2, "color", "false", false));
  EXPECT_EQ(colourPreference, ColourPreferenceFalse);
  EXPECT_FALSE(option.recordOccurrence(3, "color", "1", false));
  EXPECT_EQ(colourPreference, ColourPreferenceTrue);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(option.recordOccurrence(4, "color", "always", false));
  EXPECT_NE(testing::internal::GetCapturedStderr().find(
                "'always' is invalid value for boolean argument! Try 0 or 1"),
            std::string::npos);
  EXPECT_EQ(colourPreference, ColourPreferenceTrue);
  colourPreference = saved;
}

} // namespace

} // namespace ostrel
