#ifndef OSTREL_RUN_CHILDPROCESS_H
#define OSTREL_RUN_CHILDPROCESS_H

/// Starting the processes of tests: each in a process group of its own,
/// with the signal dispositions and mask of a fresh process, standard input
/// empty and standard output and error going to one descriptor.

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace ostrel {

/// The environment of a suite's commands: the runner's own, with the suite's
/// variables set, and `programFolder` first on PATH.
std::vector<std::string> testEnvironment(
    const std::vector<std::pair<std::string, std::string>> &variables,
    const std::string &programFolder);

/// Null-terminated pointers into `entries`, for exec.
std::vector<char *> environmentBlock(std::vector<std::string> &entries);

/// Starts `program` with `argv` (null-terminated) in `folder`, writing its
/// standard output to `outputFd` and its standard error to `errorFd`;
/// answers 0 and sets `pid`, or the error number.
int spawnInOwnGroup(const std::string &program, const char *const *argv,
                    const std::string &folder, char *const *environment, int outputFd,
                    int errorFd, pid_t &pid);

/// The path of bash, looked up once on the runner's PATH.
const std::string &bashPath();

struct ProcessEnd {
  /// 0 when the process ran; otherwise the error number that kept it from
  /// starting.
  int startError = 0;
  bool exited = false;
  /// The exit status, or the signal that ended it.
  int status = 0;
  std::string output;
  std::string errors;
  bool succeeded() const { return startError == 0 && exited && status == 0; }
};

/// Runs `argv` to its end with its standard output and error in the files
/// `outputPath` and `outputPath`.err, which are read back; then ends
/// whatever it left running in its group.
ProcessEnd runToEnd(const std::vector<std::string> &argv, const std::string &folder,
                    char *const *environment, const std::string &outputPath);

} // namespace ostrel

#endif
