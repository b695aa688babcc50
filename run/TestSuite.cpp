#include "run/TestSuite.h"

#include "support/suite/SuiteFile.h"

#include <algorithm>

namespace ostrel {

namespace {

const SuiteKey runKeys[] = {
    {"suffixes", SuiteValueKind::StringList},   {"exclude", SuiteValueKind::StringList},
    {"timeout", SuiteValueKind::Number},        {"features", SuiteValueKind::StringList},
    {"substitutions", SuiteValueKind::StringTable},
    {"environment", SuiteValueKind::StringTable},
};

template <class T> void copyIfSet(const SuiteTable &table, const char *key, T &target) {
  if (const T *value = table.get<T>(key))
    target = *value;
}

} // namespace

ValueOrError<TestSuite> loadTestSuite(const std::string &root, bool hasFile,
                                      const SuiteOverrides &overrides) {
  TestSuite suite;
  suite.root = root;
  suite.hasFile = hasFile;
  if (hasFile) {
    std::string path = root == "." ? SuiteFile::fileName : root + "/" + SuiteFile::fileName;
    auto file = SuiteFile::load(path);
    if (!file)
      return file.takeError();
    auto table = (*file)->readTable("run", runKeys);
    if (!table)
      return table.takeError();
    copyIfSet(*table, "suffixes", suite.suffixes);
    copyIfSet(*table, "exclude", suite.exclude);
    copyIfSet(*table, "timeout", suite.timeout);
    copyIfSet(*table, "features", suite.features);
    copyIfSet(*table, "substitutions", suite.substitutions);
    copyIfSet(*table, "environment", suite.environment);
    if (suite.timeout < 0) {
      const SuiteSetting *setting = table->find("timeout");
      return makeError<SuiteFileError>(path, setting->line, setting->column,
                                       "'timeout' in [run] must not be negative");
    }
  }
  if (overrides.hasTimeout)
    suite.timeout = overrides.timeout;
  for (const std::string &feature : overrides.features)
    if (!featureOn(suite.features, feature))
      suite.features.push_back(feature);
  for (const auto &[name, value] : overrides.substitutions) {
    auto same = std::find_if(suite.substitutions.begin(), suite.substitutions.end(),
                             [&](const auto &entry) { return entry.first == name; });
    if (same != suite.substitutions.end())
      same->second = value;
    else
      suite.substitutions.emplace_back(name, value);
  }
  return suite;
}

bool featureOn(const std::vector<std::string> &on, const std::string &feature) {
  return std::find(on.begin(), on.end(), feature) != on.end();
}

} // namespace ostrel
