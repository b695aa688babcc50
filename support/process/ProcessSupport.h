#ifndef OSTREL_SUPPORT_PROCESS_PROCESSSUPPORT_H
#define OSTREL_SUPPORT_PROCESS_PROCESSSUPPORT_H

/// Process-wide handlers that the program installs before it does anything
/// else and removes when the run is over: a crash handler that prints the
/// program's arguments and a stack trace on a fatal signal, a handler for
/// writes to a pipe whose reader has gone (status 74), and the allocator's
/// out-of-memory handler.

#include <csignal>
#include <new>

namespace ostrel {

class ProcessSupport {
public:
  /// Installs the handlers; `argv` must outlive this object (it is the
  /// program's own argument vector).
  ProcessSupport(int argc, char **argv);
  /// Restores the signal dispositions and the allocator handler that were in
  /// place before.
  ~ProcessSupport();
  ProcessSupport(const ProcessSupport &) = delete;
  ProcessSupport &operator=(const ProcessSupport &) = delete;

  /// Writes "error: write on a pipe with no reader" to standard error and
  /// ends the process with status 74. Async-signal-safe.
  [[noreturn]] static void exitOnBrokenPipe();

  /// The status with which a write to a reader-less pipe ends the process.
  static constexpr int brokenPipeStatus = 74;

private:
  static constexpr int crashSignals[] = {SIGILL, SIGTRAP, SIGABRT, SIGFPE,
                                         SIGBUS, SIGSEGV, SIGSYS};
  static constexpr int crashSignalCount = sizeof(crashSignals) / sizeof(crashSignals[0]);

  struct sigaction previousCrash[crashSignalCount];
  struct sigaction previousPipe;
  std::new_handler previousNewHandler;
};

/// A program's main: runs `run` with the handlers installed and flushes
/// standard output while the broken-pipe handling is still in place (a write
/// error stays recorded and is reported when the stream is destroyed at
/// exit); answers run's status.
int runProgram(int argc, char **argv, int (*run)(int argc, char **argv));

} // namespace ostrel

#endif
