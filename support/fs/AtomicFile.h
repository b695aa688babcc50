#ifndef OSTREL_SUPPORT_FS_ATOMICFILE_H
#define OSTREL_SUPPORT_FS_ATOMICFILE_H

/// Replacing a file's contents so that a reader (or an interrupted run)
/// sees either the old contents or the new, never a mix: the new bytes go to
/// a temporary file in the same folder, are flushed to the disk, and the
/// temporary file is renamed over the original.

#include "support/fs/TextRef.h"

#include <string>
#include <system_error>

namespace ostrel {

/// Writes `bytes` as the new contents of `path`. An existing file keeps its
/// permission bits and, when the process may give them (as root), its owner
/// and group; a symbolic link is followed, so the file it names is
/// replaced. On failure the original is untouched, no temporary file is
/// left, and `failedStep` names what failed.
std::error_code replaceFileAtomically(const std::string &path, TextRef bytes,
                                      std::string &failedStep);

} // namespace ostrel

#endif
