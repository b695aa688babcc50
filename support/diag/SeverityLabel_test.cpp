#include "support/diag/SeverityLabel.h"

#include "support/diag/ColourTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace ostrel {

namespace {

TEST(SeverityLabelTest, EachSeverityInItsColour) {
  struct Case {
    DiagSeverity severity;
    const char *escape;
    const char *label;
  };
  const Case cases[] = {
      {DiagSeverity::Error, "\x1b[0;1;31m", "error: "},
      {DiagSeverity::Warning, "\x1b[0;1;35m", "warning: "},
      {DiagSeverity::Remark, "\x1b[0;1;34m", "remark: "},
      {DiagSeverity::Note, "\x1b[0;1;30m", "note: "},
  };
  for (const Case &c : cases) {
    std::string out;
    StringOutputStream os(out);
    os.allowColours(true);
    writeSeverityLabel(os, c.severity, ColourPolicy::Enable);
    EXPECT_EQ(out, std::string(c.escape) + c.label + "\x1b[0m");
    out.clear();
    writeSeverityLabel(os, c.severity, ColourPolicy::Disable);
    EXPECT_EQ(out, c.label);
  }
}

TEST(SeverityLabelTest, NamedLabels) {
  PreferenceGuard yes(ColourPreferenceTrue);
  std::string out;
  StringOutputStream os(out);
  os.allowColours(true);
  errorLabel(os, "x");
  EXPECT_EQ(out, "x: \x1b[0;1;31merror: \x1b[0m");
  out.clear();
  warningLabel(os);
  noteLabel(os);
  remarkLabel(os);
  EXPECT_EQ(out, "\x1b[0;1;35mwarning: \x1b[0m\x1b[0;1;30mnote: \x1b[0m\x1b[0;1;34mremark: \x1b[0m");
  out.clear();
  errorLabel(os, "", true);
  EXPECT_EQ(out, "error: ");
}

} // namespace

} // namespace ostrel
