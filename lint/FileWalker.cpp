#include "lint/FileWalker.h"

#include <algorithm>
#include <filesystem>
#include <fnmatch.h>

namespace fs = std::filesystem;

namespace {

bool chosen(const fs::path &relative, const std::vector<std::string> &globs) {
  if (globs.empty())
    return true;
  std::string fileName = relative.filename().string();
  std::string relativePath = relative.generic_string();
  return std::any_of(globs.begin(), globs.end(), [&](const std::string &glob) {
    const std::string &subject = glob.find('/') == std::string::npos ? fileName : relativePath;
    return fnmatch(glob.c_str(), subject.c_str(), 0) == 0;
  });
}

void walkFolder(const fs::path &root, const fs::path &relative,
                const std::vector<std::string> &globs, std::vector<LintTarget> &targets,
                std::vector<std::string> &errors) {
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
    if (entry.is_directory(ignored)) {
      if (!entry.is_symlink(ignored))
        walkFolder(root, below, globs, targets, errors);
    } else if (entry.is_regular_file(ignored) && chosen(below, globs)) {
      targets.push_back({entry.path().string(), !globs.empty()});
    }
  }
}

} // namespace

void collectTargets(const std::string &path, const std::vector<std::string> &globs,
                    std::vector<LintTarget> &targets, std::vector<std::string> &errors) {
  std::error_code ignored;
  if (path != "-" && fs::is_directory(path, ignored))
    walkFolder(path, fs::path(), globs, targets, errors);
  else
    targets.push_back({path, true});
}
