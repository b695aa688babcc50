#ifndef OSTREL_RUN_RUNOPTIONS_H
#define OSTREL_RUN_RUNOPTIONS_H

/// The command-line options of ostrel-run, registered during static
/// initialisation and read after parsing.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

namespace runOptions {

const std::vector<std::string> &paths();
/// Tests run at once; 0 when not given (then: the number of cores).
uint32_t jobs();
/// The text of --timeout, when given.
std::optional<std::string> timeoutText();
const std::vector<std::string> &features();
/// NAME=VALUE substitutions.
const std::vector<std::string> &params();
const std::string &filter();
/// "K/N", empty when not given.
const std::string &shard();
bool list();
bool verbose();
bool quiet();
const std::string &junitFile();
const std::string &jsonFile();
/// 0 when not given.
uint32_t maxFailures();
bool lastFailed();
const std::string &order();
bool update();
bool interactive();

} // namespace runOptions

} // namespace ostrel

#endif
