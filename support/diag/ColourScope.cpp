#include "support/diag/ColourScope.h"

#include <cstdlib>

namespace ostrel {

int32_t colourPreference = ColourPreferenceUnset;

namespace {

// The common convention for users who want no colours from any program; the
// "color" option still overrides it.
bool noColourRequested() {
  const char *value = std::getenv("NO_COLOR");
  return value && *value;
}

} // namespace

bool coloursWanted(const OutputStream &os, ColourPolicy policy) {
  switch (policy) {
  case ColourPolicy::Enable:
    return true;
  case ColourPolicy::Disable:
    return false;
  case ColourPolicy::Auto:
    break;
  }
  if (colourPreference == ColourPreferenceTrue)
    return true;
  if (colourPreference == ColourPreferenceFalse)
    return false;
  return os.supportsColours() && !noColourRequested();
}

ColourScope::ColourScope(OutputStream &os, ColourStyle style, ColourPolicy policy)
    : os_(os), policy_(policy) {
  if (coloursWanted(os_, policy_))
    os_.setColour(style);
}

ColourScope::~ColourScope() {
  if (coloursWanted(os_, policy_))
    os_.clearColour();
}

bool ColourScope::showsColours() const { return coloursWanted(os_, policy_); }

} // namespace ostrel
