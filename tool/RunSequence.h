#ifndef OSTREL_TOOL_RUNSEQUENCE_H
#define OSTREL_TOOL_RUNSEQUENCE_H

/// The program's run: parse the options, check what the option library
/// cannot, read the check file and the input, verify the input, print the
/// annotated input dump when asked to, and map the outcome to an exit status
/// (0 success, 1 failed check, 2 usage or input error).

#include "support/diag/OutputStream.h"

namespace ostrel {

/// Prints "Ostrel command line: " and each argument after a blank, as the
/// process received them, onto `os`.
void echoCommandLine(OutputStream &os, int argc, const char *const *argv);

/// Runs the program after the process support is set up; answers the exit
/// status. Option errors, help and version end the process inside.
int runOstrel(int argc, char **argv);

} // namespace ostrel

#endif
