#ifndef OSTREL_TOOL_TOOLOPTIONS_H
#define OSTREL_TOOL_TOOLOPTIONS_H

/// The tool's own command-line options. The option objects are globals in
/// ToolOptions.cpp that register themselves during static initialisation; the
/// run sequence reads their values through the accessors below once
/// parseCommandLine (support/cmdline/CommandLineParser.h) has returned.
///
/// List values come in command-line order, the words of OSTREL_OPTS first.
/// The strings live as long as the process, so views into them never dangle.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/CheckOptions.h"
#include "support/fs/TextRef.h"
#include "tool/DumpSettings.h"

namespace ostrel {

namespace toolOptions {

/// The positional check-file name; empty when none was given.
const std::string &checkFile();
/// Occurrence count of the positional check-file argument (0 or 1).
unsigned checkFileOccurrences();

/// -input-file (default "-").
const std::string &inputFile();

/// -check-prefix and its alias -check-prefixes (split at commas), mixed in
/// command-line order.
const std::vector<std::string> &checkPrefixes();
/// -comment-prefixes, split at commas.
const std::vector<std::string> &commentPrefixes();
/// -implicit-check-not.
const std::vector<std::string> &implicitCheckNot();
/// -D values as given, name glued: "-DFOO=1" gives "FOO=1".
const std::vector<std::string> &defines();

bool strictWhitespace();
bool ignoreCase();
bool allowEmpty();
bool allowUnusedPrefixes();
bool matchFullLines();
bool enableVarScope();
bool allowDeprecatedDagOverlap();
/// -v
bool verbose();
/// -vv
bool veryVerbose();

/// -dump-input values as numbers: never 0, fail 1, always 2, help 3.
const std::vector<int32_t> &dumpInput();
/// -dump-input-filter values as numbers: error 0, annotation 1,
/// annotation-full 2, all 3.
const std::vector<int32_t> &dumpInputFilter();
/// -dump-input-context values.
const std::vector<uint32_t> &dumpInputContext();

/// Everything the command line asks of one run of the checker, as one value.
struct Settings {
  std::string checkFile;
  std::string inputFile;
  DumpSettings dump;
  /// The engine's options, viewing the option values. The -D values are
  /// left out: they join once their shape is checked.
  CheckOptions check;
};

/// The settings, read from the options once parseCommandLine has returned.
Settings read();

} // namespace toolOptions

} // namespace ostrel

#endif
