#ifndef OSTREL_LINT_LINTRUN_H
#define OSTREL_LINT_LINTRUN_H

namespace ostrel {

/// The run of ostrel-lint: parse the command line, lint every file, print the
/// findings and the summary line, answer the exit status.

/// 0 when nothing was found, 1 with findings, 2 when a file could not be read
/// or the command line is bad.
int runLint(int argc, char **argv);

} // namespace ostrel

#endif
