#ifndef OSTREL_LINT_LINTOPTIONS_H
#define OSTREL_LINT_LINTOPTIONS_H

/// The command-line options of ostrel-lint, registered during static
/// initialisation and read after parsing.

#include <string>
#include <vector>

namespace ostrel {

namespace lintOptions {

const std::vector<std::string> &paths();
const std::vector<std::string> &includeGlobs();
const std::vector<std::string> &excludeGlobs();
const std::vector<std::string> &checkPrefixes();
const std::vector<std::string> &commentPrefixes();
const std::vector<std::string> &defines();
bool strictWhitespace();
bool matchFullLines();
bool enableVarScope();
bool allowUnusedPrefixes();
/// The values of every -W option (-Wall gives "all"), in command-line order.
const std::vector<std::string> &warningFlags();
bool exitZero();
bool quiet();
const std::string &format();
bool fix();
bool diff();

} // namespace lintOptions

} // namespace ostrel

#endif
