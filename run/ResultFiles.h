#ifndef OSTREL_RUN_RESULTFILES_H
#define OSTREL_RUN_RESULTFILES_H

/// The results files a CI system reads: JUnit XML (one testsuite, a
/// testcase per finished test) and JSON (every finished test's path,
/// result, time, failing command, exit status and output). Both are valid
/// whatever bytes the tests printed.

#include "run/TestDiscovery.h"
#include "run/TestOutcome.h"
#include "support/diag/ErrorValue.h"

#include <optional>
#include <string>
#include <vector>

namespace ostrel {

using TestOutcomes = std::vector<std::optional<TestOutcome>>;

/// `text` as XML character data or attribute value: markup characters as
/// entities, line feeds and tabs kept, every other control byte and every
/// byte that is not part of valid UTF-8 (or encodes a character XML
/// forbids) written as the visible text "\xNN".
std::string xmlEscape(TextRef text);

/// Writes the JUnit file; `seconds` is the run's wall time.
ErrorValue writeJUnitFile(const std::string &path, const TestPlan &plan,
                          const TestOutcomes &outcomes, double seconds);

/// Writes the JSON file.
ErrorValue writeJsonFile(const std::string &path, const TestPlan &plan,
                         const TestOutcomes &outcomes, double seconds);

} // namespace ostrel

#endif
