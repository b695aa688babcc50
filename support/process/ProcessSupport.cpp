#include "support/process/ProcessSupport.h"

#include "support/diag/FatalError.h"
#include "support/diag/FileOutputStream.h"

#include <cerrno>
#include <cstring>
#include <execinfo.h>
#include <unistd.h>

namespace ostrel {

namespace {

// The crash handler may only use async-signal-safe calls, so everything it
// prints is prepared here or written with write(2).
int savedArgc = 0;
char **savedArgv = nullptr;

// Room for the handler to run after a stack overflow.
alignas(16) char alternateStack[64 * 1024];

void writeRaw(const char *text, size_t size) {
  while (size > 0) {
    ssize_t written = ::write(2, text, size);
    if (written < 0) {
      if (errno == EINTR)
        continue;
      return;
    }
    text += written;
    size -= static_cast<size_t>(written);
  }
}

void writeRaw(const char *text) { writeRaw(text, std::strlen(text)); }

void writeDecimal(unsigned value) {
  char digits[16];
  size_t at = sizeof(digits);
  do {
    digits[--at] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 && at > 0);
  writeRaw(digits + at, sizeof(digits) - at);
}

const char *signalName(int sig) {
  switch (sig) {
  case SIGILL: return "SIGILL";
  case SIGTRAP: return "SIGTRAP";
  case SIGABRT: return "SIGABRT";
  case SIGFPE: return "SIGFPE";
  case SIGBUS: return "SIGBUS";
  case SIGSEGV: return "SIGSEGV";
  case SIGSYS: return "SIGSYS";
  default: return "signal";
  }
}

void onCrash(int sig) {
  // Let a second fault inside this handler, and the re-raised signal below,
  // take the default action.
  ::signal(sig, SIG_DFL);

  writeRaw("Ostrel terminated by ");
  writeRaw(signalName(sig));
  writeRaw(" (");
  writeDecimal(static_cast<unsigned>(sig));
  writeRaw(")\nProgram arguments:");
  for (int i = 0; i < savedArgc; ++i) {
    writeRaw(" ");
    if (savedArgv && savedArgv[i])
      writeRaw(savedArgv[i]);
  }
  writeRaw("\nStack trace:\n");
  void *frames[128];
  int count = ::backtrace(frames, 128);
  ::backtrace_symbols_fd(frames, count, 2);

  // The signal is blocked while we run; it is delivered with the default
  // action as soon as the handler returns.
  ::raise(sig);
}

void onBrokenPipeSignal(int) { ProcessSupport::exitOnBrokenPipe(); }

void onBrokenPipeWrite() { ProcessSupport::exitOnBrokenPipe(); }

} // namespace

void ProcessSupport::exitOnBrokenPipe() {
  static const char message[] = "error: write on a pipe with no reader\n";
  writeRaw(message, sizeof(message) - 1);
  ::_exit(brokenPipeStatus);
}

ProcessSupport::ProcessSupport(int argc, char **argv) {
  savedArgc = argc;
  savedArgv = argv;

  // backtrace() loads its unwinder on first use, which allocates; do that
  // now rather than inside a signal handler.
  void *warmUp[1];
  (void)::backtrace(warmUp, 1);

  stack_t stack{};
  stack.ss_sp = alternateStack;
  stack.ss_size = sizeof(alternateStack);
  ::sigaltstack(&stack, nullptr);

  struct sigaction crash{};
  crash.sa_handler = onCrash;
  crash.sa_flags = SA_ONSTACK;
  sigemptyset(&crash.sa_mask);
  for (int i = 0; i < crashSignalCount; ++i)
    ::sigaction(crashSignals[i], &crash, &previousCrash[i]);

  struct sigaction pipe{};
  pipe.sa_handler = onBrokenPipeSignal;
  sigemptyset(&pipe.sa_mask);
  ::sigaction(SIGPIPE, &pipe, &previousPipe);
  // SIGPIPE may arrive blocked from the parent; the write then fails with
  // EPIPE, which the output streams hand to this hook.
  setBrokenPipeHook(onBrokenPipeWrite);

  previousNewHandler = std::get_new_handler();
  installOutOfMemoryHandler();
}

ProcessSupport::~ProcessSupport() {
  std::set_new_handler(previousNewHandler);
  setBrokenPipeHook(nullptr);
  ::sigaction(SIGPIPE, &previousPipe, nullptr);
  for (int i = crashSignalCount - 1; i >= 0; --i)
    ::sigaction(crashSignals[i], &previousCrash[i], nullptr);
  stack_t none{};
  none.ss_flags = SS_DISABLE;
  ::sigaltstack(&none, nullptr);
  savedArgc = 0;
  savedArgv = nullptr;
}

int runProgram(int argc, char **argv, int (*run)(int argc, char **argv)) {
  ProcessSupport processSupport(argc, argv);
  int status = run(argc, argv);
  standardOutput().flush();
  return status;
}

} // namespace ostrel
