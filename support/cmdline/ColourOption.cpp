#include "support/cmdline/ColourOption.h"

#include "support/diag/ColourScope.h"

namespace ostrel {

ColourOptionType &colourOption() {
  static HelpCategory *category = new HelpCategory("Color Options");
  static ColourOptionType *option = new ColourOptionType(
      OptName{"color"}, OptHelp{"Use colors in output (default=autodetect)"},
      OptCategory{*category}, OptLocation<int32_t>{colourPreference});
  return *option;
}

void createColourOption() { (void)colourOption(); }

} // namespace ostrel
