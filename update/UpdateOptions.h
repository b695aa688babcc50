#ifndef OSTREL_UPDATE_UPDATEOPTIONS_H
#define OSTREL_UPDATE_UPDATEOPTIONS_H

/// The command-line options of ostrel-update: its own (what to generate and
/// how to write it) and the checker's options that decide how the written
/// directives are read and matched, which it takes under the same names.
/// The option objects register themselves during static initialisation;
/// read them once parseCommandLine has returned.

#include "engine/CheckOptions.h"
#include "update/RecordedCommand.h"

#include <optional>
#include <string>
#include <vector>

namespace ostrel {

/// The command line of ostrel-update as one plain value.
struct UpdateSettings {
  /// The positional test-file name; empty when none was given.
  std::string testFile;
  /// --input-file (default "-", standard input).
  std::string inputFile;
  /// --check-prefix (default CHECK).
  std::string checkPrefix;
  /// --comment, when given.
  std::optional<std::string> comment;
  /// --label, --scrub, --scrub-numbers and --whole.
  GeneratorOptions generator;
  bool print = false;
  bool diff = false;
  /// --check: print the diff, write nothing, exit 1 when the file would change.
  bool check = false;
  /// --drop-hand-written: the user's directives that lose their place go.
  bool dropHandWritten = false;

  /// The checker's own options, but for its lists of texts, which are the
  /// strings below (see checkOptions).
  CheckOptions checker;
  std::vector<std::string> commentPrefixes;
  std::vector<std::string> implicitCheckNot;
  std::vector<std::string> defines;

  /// The checker's options of the run: `checker` with its check prefix and
  /// lists as views into this value.
  CheckOptions checkOptions() const;
};

/// The parsed command line; call once parseCommandLine has returned.
UpdateSettings readUpdateSettings();

} // namespace ostrel

#endif
