#ifndef OSTREL_RUN_RUNSUITE_H
#define OSTREL_RUN_RUNSUITE_H

namespace ostrel {

/// The run of ostrel-run: parse the command line, find and select the
/// tests, run them, report, write the results files and the suite state,
/// and answer the exit status.

/// 0 when nothing failed, 1 when something did, 2 for a bad command line or
/// suite file, 130 when interrupted.
int runSuite(int argc, char **argv);

} // namespace ostrel

#endif
