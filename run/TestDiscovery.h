#ifndef OSTREL_RUN_TESTDISCOVERY_H
#define OSTREL_RUN_TESTDISCOVERY_H

/// Finds the tests named on the command line: a named file is a test; a
/// folder is walked in name order, skipping hidden entries and the suite's
/// exclude globs, and a file in it is a test when its name ends with one of
/// the suite's suffixes or, without a suite file, when it holds a RUN line.
/// Each test belongs to the suite of the nearest suite file at or above it.

#include "run/TestSuite.h"
#include "support/diag/ErrorValue.h"

#include <string>
#include <vector>

namespace ostrel {

struct TestEntry {
  /// The path as shown: the command-line path, then the path inside it.
  std::string path;
  /// Index into TestPlan::suites.
  size_t suite = 0;
  /// When not empty, why the test fails without running (an unreadable
  /// file, a folder that cannot be read).
  std::string problem;
};

struct TestPlan {
  std::vector<TestSuite> suites;
  std::vector<TestEntry> tests;
  /// Things worth a word that fail nothing (a link back to a folder above).
  std::vector<std::string> warnings;
};

/// The tests below `paths`. Suite files are read as they are met; their
/// errors, and paths that do not exist, are the error.
ValueOrError<TestPlan> discoverTests(const std::vector<std::string> &paths,
                                     const SuiteOverrides &overrides);

/// True when `pattern`, a glob of the suite's exclude list, matches the entry
/// `relative` to the suite's root (its last part is the entry's name). A
/// pattern ending in "/" matches folders only; one without another "/"
/// matches the name at any depth, one with it the whole relative path.
bool excludeGlobMatches(const std::string &pattern, const std::string &relative,
                        bool isFolder);

} // namespace ostrel

#endif
