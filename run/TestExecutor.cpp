#include "run/TestExecutor.h"

#include "run/ChildProcess.h"
#include "run/Substitutions.h"
#include "run/TestScript.h"
#include "run/WholeFile.h"
#include "support/diag/FileOutputStream.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ostrel {

namespace fs = std::filesystem;

ExecutionObserver::~ExecutionObserver() = default;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The interrupt handler writes a byte here, so that the waiting poll wakes.
int wakeRead = -1;
int wakeWrite = -1;
volatile sig_atomic_t caughtSignal = 0;
volatile sig_atomic_t caughtCount = 0;

// A reader of the runner's output that has gone ends the run as an
// interrupt does, so that no test is left running without the runner.
constexpr int interruptSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

void onInterrupt(int signal) {
  // Every write to a reader that has gone raises SIGPIPE again; the first one
  // is the interrupt.
  if (signal == SIGPIPE && caughtSignal == SIGPIPE)
    return;
  int saved = errno;
  caughtSignal = signal;
  caughtCount = caughtCount + 1;
  char byte = 1;
  [[maybe_unused]] ssize_t ignored = ::write(wakeWrite, &byte, 1);
  errno = saved;
}

/// Catches the interrupt signals while it lives.
class InterruptCatcher {
public:
  InterruptCatcher() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
      wakeRead = fds[0];
      wakeWrite = fds[1];
    }
    caughtSignal = 0;
    caughtCount = 0;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(interruptSignals); ++i)
      ::sigaction(interruptSignals[i], &action, &previous[i]);
    // A write that fails for want of a reader does not end the program
    // while tests run; it interrupts them (even where SIGPIPE is ignored).
    previousHook = setBrokenPipeHook([] { onInterrupt(SIGPIPE); });
  }
  ~InterruptCatcher() {
    setBrokenPipeHook(previousHook);
    for (size_t i = 0; i < std::size(interruptSignals); ++i)
      ::sigaction(interruptSignals[i], &previous[i], nullptr);
    ::close(wakeRead);
    ::close(wakeWrite);
    wakeRead = wakeWrite = -1;
  }
  void drainWakeups() {
    char bytes[64];
    while (::read(wakeRead, bytes, sizeof bytes) > 0) {
    }
  }

private:
  struct sigaction previous[std::size(interruptSignals)];
  BrokenPipeHook previousHook;
};

int openProcessHandle(pid_t pid) {
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

std::string joinFeatures(const std::vector<std::string> &features) {
  std::string joined;
  for (const std::string &feature : features)
    joined += (joined.empty() ? "" : ", ") + feature;
  return joined;
}

} // namespace

/// The environment block of a suite's tests, made once.
struct TestExecutor::SuiteEnvironment {
  std::vector<std::string> entries;
  std::vector<char *> block;
};

struct TestExecutor::Running {
  size_t test = 0;
  TestOutcome outcome;
  std::vector<std::string> commands;
  std::string folder;
  bool expectFailure = false;
  size_t line = 0;
  pid_t pid = -1;
  int processHandle = -1;
  int outputFd = -1;
  /// The leader of each line's process group; each stays unreaped, so its
  /// id cannot be reused, until the test's groups have been killed.
  std::vector<pid_t> leaders;
  Clock::time_point started;
  double timeout = 0;
  bool timedOut = false;
  bool interrupted = false;
  /// Set once TERM was sent; KILL follows at this time.
  std::optional<Clock::time_point> killAt;
  char *const *environment = nullptr;
  size_t captureLimit = 0;
};

TestExecutor::TestExecutor(const TestPlan &plan, ExecutionSettings settings,
                           ExecutionObserver &observer)
    : plan_(plan), settings_(std::move(settings)), observer_(observer),
      environments_(plan.suites.size()) {}

TestExecutor::~TestExecutor() = default;

const TestExecutor::SuiteEnvironment &TestExecutor::environmentOf(size_t suite) {
  std::unique_ptr<SuiteEnvironment> &slot = environments_[suite];
  if (!slot) {
    slot = std::make_unique<SuiteEnvironment>();
    slot->entries = testEnvironment(plan_.suites[suite].environment, settings_.programFolder);
    slot->block = environmentBlock(slot->entries);
  }
  return *slot;
}

std::optional<TestOutcome> TestExecutor::start(size_t test, std::vector<Running> &running) {
  const TestEntry &entry = plan_.tests[test];
  const TestSuite &suite = plan_.suites[entry.suite];
  TestOutcome outcome;
  outcome.result = TestResult::Fail;
  if (!entry.problem.empty()) {
    outcome.message = entry.problem;
    return outcome;
  }
  std::string text;
  if (std::error_code error = readRegularFile(entry.path, text)) {
    outcome.message = "cannot read the test file: " + error.message();
    return outcome;
  }
  TestScript script = readTestScript(text);
  if (script.commands.empty()) {
    outcome.message = "no RUN line";
    return outcome;
  }
  if (script.danglingContinuation) {
    outcome.message = "the last RUN line ends in a backslash";
    return outcome;
  }
  std::vector<std::string> missing;
  for (const std::string &feature : script.requires_)
    if (!featureOn(suite.features, feature))
      missing.push_back(feature);
  std::vector<std::string> present;
  for (const std::string &feature : script.unsupported)
    if (featureOn(suite.features, feature))
      present.push_back(feature);
  if (!missing.empty() || !present.empty()) {
    outcome.result = TestResult::Unsupported;
    outcome.message = !missing.empty() ? "missing features: " + joinFeatures(missing)
                                       : "unsupported with: " + joinFeatures(present);
    return outcome;
  }

  Running state;
  state.test = test;
  for (const std::string &feature : script.xfail)
    state.expectFailure = state.expectFailure || feature == "*" || featureOn(suite.features, feature);
  std::error_code ignored;
  fs::path file = fs::absolute(entry.path, ignored).lexically_normal();
  state.folder = file.parent_path().string();
  std::string scratch = settings_.scratchRoot + "/" + std::to_string(test) + "-" +
                        file.filename().string();
  if (::mkdir(scratch.c_str(), 0777) != 0 && errno != EEXIST) {
    outcome.message = "cannot make the scratch folder '" + scratch + "': " + std::strerror(errno);
    return outcome;
  }
  state.outcome.scratch = scratch;
  Substitutions substitutions;
  for (const auto &[name, value] : suite.substitutions)
    substitutions.set(name, value);
  substitutions.set("%s", shellQuote(file.string()));
  substitutions.set("%S", shellQuote(state.folder));
  substitutions.set("%t", shellQuote(scratch + "/tmp"));
  substitutions.set("%T", shellQuote(scratch));
  substitutions.set("%%", "%");
  for (const std::string &command : script.commands)
    state.commands.push_back(substitutions.apply(command));
  state.timeout = suite.timeout;
  state.environment = environmentOf(entry.suite).block.data();
  state.captureLimit = settings_.captureLimit;
  state.started = Clock::now();
  if (!startLine(state)) {
    TestOutcome failed = finish(state);
    return failed;
  }
  running.push_back(std::move(state));
  return std::nullopt;
}

bool TestExecutor::startLine(Running &test) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    test.outcome.message = "cannot make a pipe: " + std::string(std::strerror(errno));
    return false;
  }
  const std::string &command = test.commands[test.line];
  const char *argv[] = {"bash", "-e", "-o", "pipefail", "-c", command.c_str(), nullptr};
  pid_t pid;
  int error = spawnInOwnGroup(bashPath(), argv, test.folder, test.environment, fds[1], fds[1], pid);
  ::close(fds[1]);
  if (error != 0) {
    ::close(fds[0]);
    test.outcome.command = command;
    test.outcome.message = "cannot start " + bashPath() + ": " + std::strerror(error);
    return false;
  }
  test.pid = pid;
  test.leaders.push_back(pid);
  test.processHandle = openProcessHandle(pid);
  test.outputFd = fds[0];
  ::fcntl(test.outputFd, F_SETFL, O_NONBLOCK);
  if (test.processHandle < 0) {
    test.outcome.command = command;
    test.outcome.message = "cannot watch the process: " + std::string(std::strerror(errno));
    return false;
  }
  return true;
}

void TestExecutor::drain(Running &test) {
  char buffer[65536];
  while (test.outputFd >= 0) {
    ssize_t got = ::read(test.outputFd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0 && errno == EAGAIN)
      return;
    if (got <= 0) {
      ::close(test.outputFd);
      test.outputFd = -1;
      return;
    }
    size_t room = test.captureLimit - std::min(test.captureLimit, test.outcome.output.size());
    size_t kept = std::min(room, static_cast<size_t>(got));
    test.outcome.output.append(buffer, kept);
    test.outcome.omittedBytes += static_cast<uint64_t>(got) - kept;
  }
}

void TestExecutor::signalGroups(Running &test, int signal) {
  for (pid_t leader : test.leaders)
    ::kill(-leader, signal);
}

TestOutcome TestExecutor::finish(Running &test) {
  if (test.outputFd >= 0) {
    ::close(test.outputFd);
    test.outputFd = -1;
  }
  if (test.processHandle >= 0) {
    ::close(test.processHandle);
    test.processHandle = -1;
  }
  // Whatever the test left running dies with it, and every leader is reaped.
  signalGroups(test, SIGKILL);
  for (pid_t leader : test.leaders)
    while (::waitpid(leader, nullptr, 0) < 0 && errno == EINTR) {
    }
  test.leaders.clear();
  TestOutcome outcome = std::move(test.outcome);
  outcome.seconds = secondsSince(test.started);
  if (outcome.result == TestResult::Pass) {
    if (test.timedOut)
      outcome.result = TestResult::Timeout;
    else if (!outcome.message.empty() || outcome.hasStatus)
      outcome.result = test.expectFailure ? TestResult::XFail : TestResult::Fail;
    else if (test.expectFailure)
      outcome.result = TestResult::XPass;
  }
  if (outcome.result == TestResult::Timeout)
    outcome.message = "timed out after " + std::to_string(static_cast<long long>(test.timeout)) +
                      (test.timeout == 1 ? " second" : " seconds");
  if (outcome.result == TestResult::XPass)
    outcome.message = "passed, but was expected to fail";
  if (!isFailure(outcome.result) || test.interrupted) {
    std::error_code ignored;
    fs::remove_all(outcome.scratch, ignored);
    outcome.scratch.clear();
    if (!settings_.keepEveryOutput)
      outcome.output = std::string();
  }
  return outcome;
}

bool TestExecutor::lineEnded(Running &test) {
  siginfo_t info{};
  while (::waitid(P_PID, static_cast<id_t>(test.pid), &info, WEXITED | WNOWAIT) < 0 &&
         errno == EINTR) {
  }
  // What the line wrote before it ended is in the pipe by now; whatever a
  // child left behind writes after this is not waited for.
  drain(test);
  if (test.outputFd >= 0) {
    ::close(test.outputFd);
    test.outputFd = -1;
  }
  ::close(test.processHandle);
  test.processHandle = -1;
  bool passed = info.si_code == CLD_EXITED && info.si_status == 0;
  if (passed && !test.timedOut && !test.interrupted && test.line + 1 < test.commands.size()) {
    ++test.line;
    return !startLine(test);
  }
  if (!passed || test.timedOut) {
    test.outcome.command = test.commands[test.line];
    test.outcome.hasStatus = true;
    test.outcome.signalled = info.si_code != CLD_EXITED;
    test.outcome.status = info.si_status;
  }
  return true;
}

void TestExecutor::run(const std::vector<size_t> &order,
                       std::vector<std::optional<TestOutcome>> &outcomes) {
  InterruptCatcher catcher;
  std::vector<Running> running;
  size_t next = 0;
  unsigned failures = 0;
  auto record = [&](size_t test, TestOutcome outcome) {
    if (isFailure(outcome.result))
      ++failures;
    observer_.testFinished(test, outcome);
    outcomes[test] = std::move(outcome);
    if (settings_.maxFailures && failures >= settings_.maxFailures && next < order.size())
      stoppedAtMaxFailures_ = true;
  };
  int handledCount = 0;
  while (true) {
    bool stopping = caughtCount > 0 || stoppedAtMaxFailures_;
    while (!stopping && running.size() < settings_.jobs && next < order.size()) {
      size_t test = order[next++];
      observer_.testStarted(test);
      if (std::optional<TestOutcome> ended = start(test, running))
        record(test, std::move(*ended));
      stopping = stoppedAtMaxFailures_;
    }
    if (running.empty())
      break;

    std::vector<pollfd> watched;
    watched.push_back({wakeRead, POLLIN, 0});
    for (const Running &test : running) {
      watched.push_back({test.processHandle, POLLIN, 0});
      watched.push_back({test.outputFd, POLLIN, 0});
    }
    Clock::time_point now = Clock::now();
    double wait = observer_.tickMilliseconds() ? observer_.tickMilliseconds() / 1000.0 : 3600;
    for (const Running &test : running) {
      if (test.killAt)
        wait = std::min(wait, std::chrono::duration<double>(*test.killAt - now).count());
      else if (test.timeout > 0)
        wait = std::min(wait, test.timeout - std::chrono::duration<double>(now - test.started).count());
    }
    int milliseconds = static_cast<int>(std::max(0.0, wait) * 1000) + 1;
    int ready = ::poll(watched.data(), watched.size(), milliseconds);
    if (ready < 0 && errno != EINTR)
      break;
    now = Clock::now();

    if (caughtCount > handledCount) {
      catcher.drainWakeups();
      interruptSignal_ = caughtSignal;
      // The first interrupt asks the tests to end; another one insists.
      int signal = handledCount == 0 ? SIGTERM : SIGKILL;
      handledCount = caughtCount;
      for (Running &test : running) {
        test.interrupted = true;
        signalGroups(test, signal);
        if (!test.killAt)
          test.killAt = now + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(settings_.killGrace));
      }
    }

    std::vector<size_t> ended;
    for (size_t i = 0; i < running.size(); ++i) {
      Running &test = running[i];
      const pollfd &processEvent = watched[1 + 2 * i];
      const pollfd &outputEvent = watched[2 + 2 * i];
      if (outputEvent.revents && test.outputFd >= 0)
        drain(test);
      if (processEvent.revents == 0) {
        if (test.killAt && now >= *test.killAt) {
          signalGroups(test, SIGKILL);
          test.killAt = now + std::chrono::hours(1);
        } else if (!test.killAt && test.timeout > 0 &&
                   std::chrono::duration<double>(now - test.started).count() >= test.timeout) {
          test.timedOut = true;
          signalGroups(test, SIGTERM);
          test.killAt = now + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(settings_.killGrace));
        }
        continue;
      }
      if (lineEnded(test))
        ended.push_back(i);
    }
    // Backwards, so that the positions still to erase stay valid.
    for (auto at = ended.rbegin(); at != ended.rend(); ++at) {
      Running &test = running[*at];
      TestOutcome outcome = finish(test);
      size_t index = test.test;
      bool interrupted = test.interrupted;
      running.erase(running.begin() + static_cast<std::ptrdiff_t>(*at));
      if (!interrupted)
        record(index, std::move(outcome));
    }
    observer_.tick();
  }
}

TestOutcome TestExecutor::runOne(size_t test) {
  class Silent : public ExecutionObserver {
    void testStarted(size_t) override {}
    void testFinished(size_t, const TestOutcome &) override {}
  } silent;
  TestExecutor alone(plan_, settings_, silent);
  alone.settings_.jobs = 1;
  alone.settings_.maxFailures = 0;
  std::vector<std::optional<TestOutcome>> outcomes(plan_.tests.size());
  alone.run({test}, outcomes);
  if (outcomes[test])
    return std::move(*outcomes[test]);
  TestOutcome interrupted;
  interrupted.result = TestResult::Fail;
  interrupted.message = "interrupted";
  return interrupted;
}

} // namespace ostrel
