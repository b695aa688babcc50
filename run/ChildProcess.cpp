#include "run/ChildProcess.h"

#include "run/WholeFile.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace ostrel {

std::vector<std::string> testEnvironment(
    const std::vector<std::pair<std::string, std::string>> &variables,
    const std::string &programFolder) {
  std::vector<std::string> entries;
  std::string path = "/usr/bin:/bin";
  for (char **entry = environ; *entry; ++entry) {
    std::string_view text(*entry);
    std::string_view name = text.substr(0, text.find('='));
    bool replaced = name == "PATH";
    if (replaced)
      path = std::string(text.substr(5));
    for (const auto &variable : variables)
      replaced = replaced || variable.first == name;
    if (!replaced)
      entries.emplace_back(text);
  }
  for (const auto &[name, value] : variables) {
    if (name == "PATH")
      path = value;
    else
      entries.push_back(name + "=" + value);
  }
  entries.push_back("PATH=" + programFolder + ":" + path);
  return entries;
}

std::vector<char *> environmentBlock(std::vector<std::string> &entries) {
  std::vector<char *> block;
  for (std::string &entry : entries)
    block.push_back(entry.data());
  block.push_back(nullptr);
  return block;
}

int spawnInOwnGroup(const std::string &program, const char *const *argv,
                    const std::string &folder, char *const *environment, int outputFd,
                    int errorFd, pid_t &pid) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
  posix_spawn_file_actions_adddup2(&actions, errorFd, 2);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Dispositions the runner inherited (an ignored SIGPIPE, say) would change
  // how the tests' pipelines end.
  sigset_t defaults;
  sigfillset(&defaults);
  sigdelset(&defaults, SIGKILL);
  sigdelset(&defaults, SIGSTOP);
  sigset_t noneBlocked;
  sigemptyset(&noneBlocked);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setsigmask(&attributes, &noneBlocked);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  int error = ::posix_spawn(&pid, program.c_str(), &actions, &attributes,
                            const_cast<char *const *>(argv), environment);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return error;
}

const std::string &bashPath() {
  static const std::string path = [] {
    const char *variable = std::getenv("PATH");
    std::string folders = variable ? variable : "/usr/bin:/bin";
    size_t start = 0;
    while (true) {
      size_t colon = folders.find(':', start);
      std::string folder = folders.substr(start, colon - start);
      std::string candidate = (folder.empty() ? "." : folder) + "/bash";
      if (::access(candidate.c_str(), X_OK) == 0)
        return candidate;
      if (colon == std::string::npos)
        return std::string("/bin/bash");
      start = colon + 1;
    }
  }();
  return path;
}

ProcessEnd runToEnd(const std::vector<std::string> &argv, const std::string &folder,
                    char *const *environment, const std::string &outputPath) {
  ProcessEnd end;
  const std::string errorPath = outputPath + ".err";
  int outputFd = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  int errorFd = ::open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (outputFd < 0 || errorFd < 0) {
    end.startError = errno;
    ::close(outputFd);
    ::close(errorFd);
    return end;
  }
  std::vector<const char *> words;
  for (const std::string &word : argv)
    words.push_back(word.c_str());
  words.push_back(nullptr);
  pid_t pid;
  end.startError =
      spawnInOwnGroup(argv[0], words.data(), folder, environment, outputFd, errorFd, pid);
  ::close(outputFd);
  ::close(errorFd);
  if (end.startError)
    return end;
  siginfo_t info{};
  while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 &&
         errno == EINTR) {
  }
  // The group's id stays reserved until its leader is reaped.
  ::kill(-pid, SIGKILL);
  while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  end.exited = info.si_code == CLD_EXITED;
  end.status = info.si_status;
  if (readRegularFile(outputPath, end.output))
    end.output.clear();
  if (readRegularFile(errorPath, end.errors))
    end.errors.clear();
  return end;
}

} // namespace ostrel
