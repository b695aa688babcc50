#ifndef OSTREL_LINT_FILEWALKER_H
#define OSTREL_LINT_FILEWALKER_H

/// Turns the paths of the command line into the files to lint: a file as it
/// is, a folder as the files below it, in name order.

#include "support/fs/TextRef.h"

#include <string>
#include <vector>

struct LintTarget {
  std::string path;
  /// Named on the command line or matched by a glob; a file found in a
  /// folder without globs is linted only when it turns out to be a check file.
  bool chosen;
};

/// Appends the files for `path` to `targets`. Below a folder, entries whose
/// names begin with "." are skipped, and with `globs` only files whose name
/// (or, for a glob with a "/", whose path below the folder) matches one of
/// them are taken; links to folders are not followed. Appends a message to
/// `errors` for each folder that cannot be read, and goes on with the rest.
void collectTargets(const std::string &path, const std::vector<std::string> &globs,
                    std::vector<LintTarget> &targets, std::vector<std::string> &errors);

#endif
