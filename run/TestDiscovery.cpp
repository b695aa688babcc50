#include "run/TestDiscovery.h"

#include "run/TestScript.h"
#include "run/WholeFile.h"
#include "support/suite/SuiteFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fnmatch.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

namespace fs = std::filesystem;

bool excludeGlobMatches(const std::string &pattern, const std::string &relative,
                        bool isFolder) {
  std::string glob = pattern;
  bool foldersOnly = !glob.empty() && glob.back() == '/';
  while (!glob.empty() && glob.back() == '/')
    glob.pop_back();
  if (glob.empty() || (foldersOnly && !isFolder))
    return false;
  if (glob.find('/') == std::string::npos) {
    size_t slash = relative.rfind('/');
    std::string name = relative.substr(slash == std::string::npos ? 0 : slash + 1);
    return ::fnmatch(glob.c_str(), name.c_str(), 0) == 0;
  }
  return ::fnmatch(glob.c_str(), relative.c_str(), FNM_PATHNAME) == 0;
}

namespace {

struct FolderId {
  dev_t device;
  ino_t inode;
  bool operator==(const FolderId &) const = default;
};

class Walker {
public:
  explicit Walker(const SuiteOverrides &overrides) : overrides_(overrides) {}

  ErrorValue addPath(const std::string &given) {
    std::string path = given;
    while (path.size() > 1 && path.back() == '/')
      path.pop_back();
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
      int error = errno;
      // A link that leads nowhere or in a circle is a test that cannot be read.
      struct stat linkInfo;
      if (::lstat(path.c_str(), &linkInfo) == 0) {
        size_t suite;
        if (ErrorValue failed = suiteAt(path, false, suite))
          return failed;
        addTest(path, suite, "cannot read the test file: " + std::string(std::strerror(error)));
        return ErrorValue();
      }
      return makeTextError(std::error_code(error, std::generic_category()),
                           "cannot read '" + given + "': " + std::strerror(error));
    }
    bool isFolder = S_ISDIR(info.st_mode);
    size_t suite;
    if (ErrorValue failed = suiteAt(path, isFolder, suite))
      return failed;
    if (!isFolder) {
      addTest(path, suite, {});
      return ErrorValue();
    }
    std::string relative = relativeToRoot(path, plan_.suites[suite].root);
    std::vector<FolderId> above{{info.st_dev, info.st_ino}};
    return walk(path, relative, suite, above);
  }

  TestPlan take() { return std::move(plan_); }

private:
  /// The suite of the nearest suite file at or above `path`, loaded once.
  ErrorValue suiteAt(const std::string &path, bool isFolder, size_t &index) {
    std::string root = SuiteFile::findRoot(path);
    bool hasFile = !root.empty();
    if (!hasFile) {
      root = isFolder ? path : fs::path(path).parent_path().string();
      if (root.empty())
        root = ".";
    }
    auto known = suiteIndex_.find(root);
    if (known != suiteIndex_.end()) {
      index = known->second;
      return ErrorValue();
    }
    auto suite = loadTestSuite(root, hasFile, overrides_);
    if (!suite)
      return suite.takeError();
    index = plan_.suites.size();
    plan_.suites.push_back(std::move(*suite));
    suiteIndex_.emplace(root, index);
    return ErrorValue();
  }

  static std::string relativeToRoot(const std::string &path, const std::string &root) {
    std::error_code ignored;
    fs::path relative = fs::absolute(path, ignored).lexically_normal().lexically_relative(
        fs::absolute(root, ignored).lexically_normal());
    std::string text = relative.string();
    return text == "." ? std::string() : text;
  }

  void addTest(std::string path, size_t suite, std::string problem) {
    if (path.rfind("./", 0) == 0 && path.size() > 2)
      path.erase(0, 2);
    plan_.tests.push_back(TestEntry{std::move(path), suite, std::move(problem)});
  }

  bool excluded(const TestSuite &suite, const std::string &relative, bool isFolder) const {
    for (const std::string &pattern : suite.exclude)
      if (excludeGlobMatches(pattern, relative, isFolder))
        return true;
    return false;
  }

  ErrorValue walk(const std::string &folder, const std::string &relative, size_t suite,
                  std::vector<FolderId> &above) {
    DIR *stream = ::opendir(folder.c_str());
    if (!stream) {
      addTest(folder, suite, "cannot read the folder: " + std::string(std::strerror(errno)));
      return ErrorValue();
    }
    std::vector<std::pair<std::string, unsigned char>> entries;
    while (dirent *entry = ::readdir(stream))
      if (entry->d_name[0] != '.')
        entries.emplace_back(entry->d_name, entry->d_type);
    ::closedir(stream);
    std::sort(entries.begin(), entries.end());

    for (const auto &[name, type] : entries) {
      std::string path = folder == "." ? name : folder + "/" + name;
      std::string inner = relative.empty() ? name : relative + "/" + name;
      bool isFolder = type == DT_DIR;
      bool isFile = type == DT_REG;
      struct stat info{};
      if (!isFolder && !isFile) {
        if (::stat(path.c_str(), &info) == 0) {
          isFolder = S_ISDIR(info.st_mode);
        } else if (!plan_.suites[suite].hasFile || hasSuffix(plan_.suites[suite], name)) {
          if (!excluded(plan_.suites[suite], inner, false))
            addTest(path, suite,
                    "cannot read the test file: " + std::string(std::strerror(errno)));
          continue;
        }
      }
      if (isFolder) {
        if (ErrorValue failed = enterFolder(path, inner, suite, above))
          return failed;
        continue;
      }
      const TestSuite &owner = plan_.suites[suite];
      if (excluded(owner, inner, false) || (!owner.hasFile && name == SuiteFile::fileName))
        continue;
      if (owner.hasFile) {
        if (hasSuffix(owner, name))
          addTest(path, suite, {});
        continue;
      }
      std::error_code error = readRegularFile(path, text_);
      if (error)
        addTest(path, suite, "cannot read the test file: " + error.message());
      else if (holdsRunLine(text_))
        addTest(path, suite, {});
    }
    return ErrorValue();
  }

  ErrorValue enterFolder(const std::string &path, const std::string &inner, size_t suite,
                         std::vector<FolderId> &above) {
    if (excluded(plan_.suites[suite], inner, true))
      return ErrorValue();
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
      addTest(path, suite, "cannot read the folder: " + std::string(std::strerror(errno)));
      return ErrorValue();
    }
    FolderId id{info.st_dev, info.st_ino};
    if (std::find(above.begin(), above.end(), id) != above.end()) {
      plan_.warnings.push_back("skipped '" + path +
                               "': a symbolic link to a folder that holds it");
      return ErrorValue();
    }
    size_t innerSuite = suite;
    std::string innerRelative = inner;
    struct stat fileInfo;
    if (::stat((path + "/" + SuiteFile::fileName).c_str(), &fileInfo) == 0) {
      if (ErrorValue failed = suiteAt(path, true, innerSuite))
        return failed;
      innerRelative.clear();
    }
    above.push_back(id);
    ErrorValue failed = walk(path, innerRelative, innerSuite, above);
    above.pop_back();
    return failed;
  }

  static bool hasSuffix(const TestSuite &suite, const std::string &name) {
    for (const std::string &suffix : suite.suffixes)
      if (name.size() >= suffix.size() &&
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        return true;
    return false;
  }

  const SuiteOverrides &overrides_;
  TestPlan plan_;
  std::map<std::string, size_t> suiteIndex_;
  /// Reused for every file read while walking.
  std::string text_;
};

} // namespace

ValueOrError<TestPlan> discoverTests(const std::vector<std::string> &paths,
                                     const SuiteOverrides &overrides) {
  Walker walker(overrides);
  ErrorValue errors;
  for (const std::string &path : paths)
    errors = combineErrors(std::move(errors), walker.addPath(path));
  if (errors)
    return errors;
  TestPlan plan = walker.take();
  // A test named twice (a file and its folder) runs once.
  std::set<std::string> known;
  std::vector<TestEntry> unique;
  for (TestEntry &entry : plan.tests)
    if (known.insert(entry.path).second)
      unique.push_back(std::move(entry));
  plan.tests = std::move(unique);
  return plan;
}

} // namespace ostrel
