#include "support/cmdline/OptionOutput.h"

#include <cstdlib>

#include "support/diag/FatalError.h"
#include "support/diag/OutputStream.h"

namespace ostrel {

void writeOptionError(TextRef text) { standardError().write(text); }

void writeOptionOutput(TextRef text) { standardOutput().write(text); }

void failOptionTable(TextRef message) { reportFatal(message, true); }

void exitAfterOptions(int status) {
  standardOutput().flush();
  std::exit(status);
}

} // namespace ostrel
