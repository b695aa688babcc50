#include "lint/FileWalker.h"

#include <algorithm>
#include <filesystem>
#include <fnmatch.h>

namespace ostrel {

namespace fs = std::filesystem;

namespace {

/// How much of a file is searched for a NUL, as tools that tell text from
/// binary commonly do.
constexpr size_t binaryProbeBytes = 8000;

/// The index of the first of `globs` that matches `relative`, a folder
/// when `isFolder`, or npos.
size_t matchingGlob(const fs::path &relative, bool isFolder,
                    const std::vector<std::string> &globs) {
  std::string fileName = relative.filename().string();
  std::string relativePath = relative.generic_string();
  for (size_t i = 0; i < globs.size(); ++i) {
    std::string glob = globs[i];
    if (glob.ends_with('/')) {
      if (!isFolder)
        continue;
      glob.pop_back();
    }
    const std::string &subject = glob.find('/') == std::string::npos ? fileName : relativePath;
    if (fnmatch(glob.c_str(), subject.c_str(), 0) == 0)
      return i;
  }
  return std::string::npos;
}

struct Walk {
  const fs::path &root;
  const FileChoice &choice;
  std::vector<LintTarget> &targets;
  std::vector<bool> &includeUsed;
  std::vector<std::string> &errors;

  void folder(const fs::path &relative) {
    std::error_code failure;
    fs::directory_iterator entries(root / relative, failure);
    if (failure) {
      errors.push_back("cannot read folder '" + (root / relative).string() + "': " +
                       failure.message());
      return;
    }
    std::vector<fs::directory_entry> sorted;
    // Stepped with an error code: the plain increment throws.
    for (; !failure && entries != fs::directory_iterator(); entries.increment(failure))
      if (!entries->path().filename().string().starts_with("."))
        sorted.push_back(*entries);
    std::sort(sorted.begin(), sorted.end());
    for (const fs::directory_entry &entry : sorted) {
      fs::path below = relative / entry.path().filename();
      std::error_code ignored;
      bool isFolder = entry.is_directory(ignored);
      if (matchingGlob(below, isFolder, choice.excludeGlobs) != std::string::npos)
        continue;
      if (isFolder) {
        if (!entry.is_symlink(ignored))
          folder(below);
      } else if (entry.is_regular_file(ignored)) {
        file(entry.path().string(), below);
      }
    }
  }

  void file(const std::string &path, const fs::path &relative) {
    const std::vector<std::string> &globs = choice.includeGlobs;
    if (globs.empty()) {
      targets.push_back({path, false, true});
      return;
    }
    size_t glob = matchingGlob(relative, false, globs);
    if (glob == std::string::npos)
      return;
    includeUsed[glob] = true;
    targets.push_back({path, true, true});
  }
};

} // namespace

size_t collectTargets(const std::string &path, const FileChoice &choice,
                      std::vector<LintTarget> &targets, std::vector<bool> &includeUsed,
                      std::vector<std::string> &errors) {
  size_t before = targets.size();
  std::error_code ignored;
  if (path != "-" && fs::is_directory(path, ignored)) {
    fs::path root(path);
    includeUsed.resize(choice.includeGlobs.size());
    Walk{root, choice, targets, includeUsed, errors}.folder(fs::path());
  } else {
    targets.push_back({path, true});
  }
  return targets.size() - before;
}

bool looksBinary(TextRef text) {
  return text.substr(0, binaryProbeBytes).find('\0') != TextRef::npos;
}

} // namespace ostrel
