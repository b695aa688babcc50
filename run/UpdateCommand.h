#ifndef OSTREL_RUN_UPDATECOMMAND_H
#define OSTREL_RUN_UPDATECOMMAND_H

/// How a failing RUN line can be refreshed: the last command of the line
/// must be ostrel, fed by a producer through a pipe or given --input-file.
/// From the line come the script that makes the output (whatever ran before
/// ostrel, with the producer's output sent to a file), the check file, and
/// the checker options that ostrel-update also takes.

#include "support/fs/TextRef.h"

#include <string>
#include <vector>

namespace ostrel {

struct UpdateCommand {
  /// Bash text that writes the output ostrel read into the file named by
  /// the shell variable OSTREL_RUN_CAPTURE; empty when nothing needs to run
  /// before reading `inputFile`.
  std::string producerScript;
  /// The --input-file that ostrel read, when it was given one (as written,
  /// relative to the test's folder); empty for a pipe.
  std::string inputFile;
  /// The check file ostrel was given.
  std::string checkFile;
  /// Options for ostrel-update, each one word ("--check-prefix=P").
  std::vector<std::string> checkerOptions;
  /// Why the line cannot be refreshed; empty when it can.
  std::string refusal;
};

/// Reads a RUN line as it was run (after substitution).
UpdateCommand readUpdateCommand(TextRef runLine);

} // namespace ostrel

#endif
