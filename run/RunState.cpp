#include "run/RunState.h"

#include "run/WholeFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace ostrel {

std::string RunState::filePath(const std::string &root) {
  return root + "/.ostrel-run/results";
}

RunState RunState::load(const std::string &root) {
  RunState state;
  state.root_ = root;
  std::string text;
  if (readRegularFile(filePath(root), text))
    return state;
  // One test a line: result, seconds and path, separated by tabs.
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    size_t first = line.find('\t');
    size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
    if (second == std::string::npos)
      continue;
    RecordedResult entry;
    if (!resultFromName(line.substr(0, first), entry.result))
      continue;
    entry.seconds = std::strtod(line.c_str() + first + 1, nullptr);
    state.entries_[line.substr(second + 1)] = entry;
  }
  return state;
}

const RecordedResult *RunState::find(const std::string &test) const {
  auto found = entries_.find(test);
  return found == entries_.end() ? nullptr : &found->second;
}

void RunState::record(const std::string &test, RecordedResult result) {
  entries_[test] = result;
}

ErrorValue RunState::save() const {
  std::string folder = root_ + "/.ostrel-run";
  if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
    return makeTextError(std::error_code(errno, std::generic_category()),
                         "cannot make '" + folder + "': " + std::strerror(errno));
  std::string text;
  char seconds[32];
  for (const auto &[test, entry] : entries_) {
    // A path with a line feed cannot be kept in this file; it is simply not remembered.
    if (test.find('\n') != std::string::npos)
      continue;
    std::snprintf(seconds, sizeof seconds, "%.3f", entry.seconds);
    text += std::string(resultName(entry.result)) + "\t" + seconds + "\t" + test + "\n";
  }
  return writeWholeFile(filePath(root_), text);
}

} // namespace ostrel
