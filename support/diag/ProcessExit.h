#ifndef OSTREL_SUPPORT_DIAG_PROCESSEXIT_H
#define OSTREL_SUPPORT_DIAG_PROCESSEXIT_H

/// Whether the process has begun exiting. The standard streams mark it when
/// exit starts, before they are destroyed; the fatal path reads it, since
/// calling exit() again then would be undefined.

namespace ostrel {

/// Records that the process is exiting; registered with atexit.
void markProcessExiting();

/// True once markProcessExiting has run.
bool processIsExiting();

} // namespace ostrel

#endif
