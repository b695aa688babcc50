#ifndef OSTREL_SUPPORT_CMDLINE_COLOUROPTION_H
#define OSTREL_SUPPORT_CMDLINE_COLOUROPTION_H

/// The library-wide "color" option. Its value is the process-wide colour
/// preference that colour scopes in automatic mode consult.

#include <cstdint>

#include "support/cmdline/SingleValueOption.h"

namespace ostrel {

using ColourOptionType = SingleValueOption<int32_t, ThreeStateParser<int32_t>>;

/// The option, created (with its category "Color Options") on first call.
ColourOptionType &colourOption();
/// Creator run by the first parse.
void createColourOption();

} // namespace ostrel

#endif
