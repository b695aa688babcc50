#ifndef OSTREL_SUPPORT_CMDLINE_OPTIONOUTPUT_H
#define OSTREL_SUPPORT_CMDLINE_OPTIONOUTPUT_H

/// The few ways the option library talks to the outside: text onto the two
/// standard streams, the fatal end for an inconsistent option table, and
/// ending the process after help or a rejected command line.

#include "support/fs/TextRef.h"

namespace ostrel {

void writeOptionError(TextRef text);
void writeOptionOutput(TextRef text);
[[noreturn]] void failOptionTable(TextRef message);
/// Flushes standard output and ends the process with status.
[[noreturn]] void exitAfterOptions(int status);

} // namespace ostrel

#endif
