#ifndef OSTREL_UPDATE_UPDATERUN_H
#define OSTREL_UPDATE_UPDATERUN_H

/// The run of ostrel-update: from the command line to the exit status.
/// 0: written, unchanged, diffed or printed; 1: the new directives would not
/// pass (nothing written, the checker's diagnostic printed); 2: bad usage,
/// an unreadable output or test file, or a test file that cannot be written.

int runUpdate(int argc, char **argv);

#endif
