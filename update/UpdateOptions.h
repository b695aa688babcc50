#ifndef OSTREL_UPDATE_UPDATEOPTIONS_H
#define OSTREL_UPDATE_UPDATEOPTIONS_H

/// The command-line options of ostrel-update: its own (what to generate and
/// how to write it) and the checker's options that decide how the written
/// directives are read and matched, which it takes under the same names.
/// The option objects register themselves during static initialisation;
/// read them once parseCommandLine has returned.

#include <string>
#include <vector>

namespace ostrel {

namespace updateOptions {

/// The positional test-file name; empty when none was given.
const std::string &testFile();
/// --input-file (default "-", standard input).
const std::string &inputFile();
/// --check-prefix (default CHECK).
const std::string &checkPrefix();
const std::vector<std::string> &commentPrefixes();
/// --label values: regular expressions.
const std::vector<std::string> &labels();
/// --scrub values: NAME or NAME=ERE.
const std::vector<std::string> &scrubs();
bool scrubNumbers();
/// --comment, and whether it was given.
const std::string &comment();
bool commentGiven();
bool print();
bool diff();
/// --check: print the diff, write nothing, exit 1 when the file would change.
bool check();
bool allowEmpty();
/// --whole: the directives pin whole lines and the end of the output.
bool whole();
/// --drop-hand-written: the user's directives that lose their place go.
bool dropHandWritten();

// The checker's own options.
bool strictWhitespace();
bool matchFullLines();
bool ignoreCase();
bool enableVarScope();
bool allowDeprecatedDagOverlap();
const std::vector<std::string> &implicitCheckNot();
const std::vector<std::string> &defines();

} // namespace updateOptions

} // namespace ostrel

#endif
