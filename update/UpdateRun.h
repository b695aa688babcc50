#ifndef OSTREL_UPDATE_UPDATERUN_H
#define OSTREL_UPDATE_UPDATERUN_H

/// The run of ostrel-update: from the command line to the exit status.
/// 0: written, unchanged, current, diffed or printed; 1: refused (the new
/// directives would not pass, a label repeats, the user's directives would
/// be dropped) or, with --check, the file would change; 2: bad usage, an
/// unreadable output or test file, or a test file that cannot be written.

#include "support/fs/FileBuffer.h"

namespace ostrel {

int runUpdate(int argc, char **argv);

/// Reads a file the update works on (the output or the test file) the way
/// the checker does, never mapped: a file that shrinks while it is read
/// gives "file changed size while being read" instead of a fault.
OwnedFileBufferOrError readUpdateFile(TextRef name);

} // namespace ostrel

#endif
