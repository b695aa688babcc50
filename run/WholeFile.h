#ifndef OSTREL_RUN_WHOLEFILE_H
#define OSTREL_RUN_WHOLEFILE_H

/// Reading and writing a file whole: test files, the state of a suite and
/// the results files.

#include "support/diag/ErrorValue.h"

#include <string>
#include <system_error>

namespace ostrel {

/// Reads the regular file `path` whole into `text`; other kinds of file
/// (folders, pipes, devices) are refused without blocking.
std::error_code readRegularFile(const std::string &path, std::string &text);

/// Writes `text` to `path` through a temporary file beside it, so that a
/// reader never sees half a file.
ErrorValue writeWholeFile(const std::string &path, const std::string &text);

} // namespace ostrel

#endif
