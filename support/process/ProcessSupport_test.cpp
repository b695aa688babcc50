#include "support/process/ProcessSupport.h"

#include "support/diag/FileOutputStream.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <new>
#include <unistd.h>

namespace ostrel {

namespace {

char programName[] = "ostrel";
char firstArgument[] = "--check-prefix=X";
char *arguments[] = {programName, firstArgument, nullptr};

TEST(ProcessSupportDeathTest, BrokenPipeWithSignalBlockedStillEndsWith74) {
  // A blocked SIGPIPE makes the write fail with EPIPE instead; the output
  // stream hands that to the same exit.
  auto writeToDeadPipe = [] {
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGPIPE);
    sigprocmask(SIG_BLOCK, &block, nullptr);
    ProcessSupport support(2, arguments);
    int fds[2];
    if (pipe(fds) != 0)
      _exit(3);
    close(fds[0]);
    FileOutputStream out(fds[1], {.closeOnDestruction = true, .unbuffered = true});
    out << "lost";
    _exit(0);
  };
  EXPECT_EXIT(writeToDeadPipe(), ::testing::ExitedWithCode(74),
              "^error: write on a pipe with no reader\n$");
}

TEST(ProcessSupportDeathTest, BrokenPipeSignalEndsWith74) {
  auto raisePipe = [] {
    ProcessSupport support(2, arguments);
    raise(SIGPIPE);
    _exit(0);
  };
  EXPECT_EXIT(raisePipe(), ::testing::ExitedWithCode(74), "write on a pipe with no reader");
}

TEST(ProcessSupportDeathTest, CrashPrintsArgumentsAndStackTrace) {
  auto crash = [] {
    ProcessSupport support(2, arguments);
    raise(SIGSEGV);
    _exit(0);
  };
  EXPECT_EXIT(crash(), ::testing::KilledBySignal(SIGSEGV),
              "Ostrel terminated by SIGSEGV \\(11\\)\nProgram arguments: ostrel "
              "--check-prefix=X\nStack trace:\n");
}

#if !defined(__SANITIZE_ADDRESS__)
char *volatile keepAllocation = nullptr;

TEST(ProcessSupportDeathTest, FailedAllocationReportsOutOfMemory) {
  auto exhaust = [] {
    ProcessSupport support(2, arguments);
    volatile size_t size = SIZE_MAX / 2;
    keepAllocation = new char[size];
    _exit(0);
  };
  EXPECT_DEATH(exhaust(), "VARNIX ERROR: out of memory\nAllocation failed\n");
}
#endif

TEST(ProcessSupport, TeardownRestoresPreviousHandlers) {
  struct sigaction before {};
  sigaction(SIGPIPE, nullptr, &before);
  std::new_handler handlerBefore = std::get_new_handler();
  {
    ProcessSupport support(2, arguments);
    struct sigaction during {};
    sigaction(SIGPIPE, nullptr, &during);
    EXPECT_NE(during.sa_handler, before.sa_handler);
  }
  struct sigaction after {};
  sigaction(SIGPIPE, nullptr, &after);
  EXPECT_EQ(after.sa_handler, before.sa_handler);
  EXPECT_EQ(std::get_new_handler(), handlerBefore);
}

} // namespace

} // namespace ostrel
