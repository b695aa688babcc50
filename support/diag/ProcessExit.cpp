#include "support/diag/ProcessExit.h"

#include <atomic>

namespace ostrel {

namespace {

std::atomic<bool> exiting{false};

} // namespace

void markProcessExiting() { exiting.store(true); }

bool processIsExiting() { return exiting.load(); }

} // namespace ostrel
