#ifndef OSTREL_SUPPORT_DIAG_FATALERROR_H
#define OSTREL_SUPPORT_DIAG_FATALERROR_H

/// The paths that end the process on an unrecoverable failure. Each writes one
/// message to standard error and never returns.

#include "support/fs/TextRef.h"

namespace ostrel {

/// Writes "VARNIX ERROR: " + message + "\n" to descriptor 2 in one write, runs
/// the fatal cleanup hook, then aborts (crashReport) or exits with status 1.
[[noreturn]] void reportFatal(TextRef message, bool crashReport = true);

/// Writes "VARNIX ERROR: out of memory\n", the reason and a line feed to
/// descriptor 2 without allocating, then aborts.
[[noreturn]] void reportOutOfMemory(const char *reason, bool crashReport = true);

/// Writes the message (if any) and a line feed, "UNREACHABLE executed", " at
/// file:line" (if a file is given) and "!\n" to standard error, then aborts.
[[noreturn]] void reportUnreachable(const char *message, const char *file, unsigned line);

#define OSTREL_UNREACHABLE(message) ::ostrel::reportUnreachable(message, __FILE__, __LINE__)

/// Process cleanup run by reportFatal before it ends the process (the crash
/// handling removes its registered files here). Null removes the hook.
using FatalCleanupHook = void (*)();
void setFatalCleanupHook(FatalCleanupHook hook);

/// Makes a failed operator new call reportOutOfMemory("Allocation failed").
void installOutOfMemoryHandler();

} // namespace ostrel

#endif
