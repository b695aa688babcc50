#ifndef OSTREL_LINT_FILEWALKER_H
#define OSTREL_LINT_FILEWALKER_H

/// Turns the paths of the command line into the files to lint: a file as it
/// is, a folder as the files below it, in name order.

#include "support/fs/TextRef.h"

#include <string>
#include <vector>

namespace ostrel {

struct LintTarget {
  std::string path;
  /// Named on the command line or matched by a glob; a file found in a
  /// folder without globs is linted only when it turns out to be a check file.
  bool chosen;
  /// Found below a folder, where binary files are skipped.
  bool inFolder = false;
};

/// Which files below a folder are taken. A glob without a "/" is matched
/// against an entry's name, one with a "/" against its path below the folder;
/// a glob ending in "/" matches folders only.
struct FileChoice {
  /// When not empty, only the files that one of these matches.
  std::vector<std::string> includeGlobs;
  /// Files and folders that one of these matches are skipped.
  std::vector<std::string> excludeGlobs;
};

/// Appends the files for `path` to `targets`. Below a folder, entries whose
/// names begin with "." and links to folders are skipped, and `choice`
/// decides on the rest. Sets `includeUsed[i]` when include glob i took a
/// file. Appends a message to `errors` for each folder that cannot be read
/// and goes on with the rest. Answers how many files were appended.
size_t collectTargets(const std::string &path, const FileChoice &choice,
                      std::vector<LintTarget> &targets, std::vector<bool> &includeUsed,
                      std::vector<std::string> &errors);

/// Whether `text`, a file's contents, looks binary: a NUL in its first block.
bool looksBinary(TextRef text);

} // namespace ostrel

#endif
