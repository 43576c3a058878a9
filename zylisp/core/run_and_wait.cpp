#include "core/run_and_wait.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>
#include <thread>

extern char** environ;

namespace zylisp {

namespace {

using Clock = std::chrono::steady_clock;

// Reaps the child when it has ended, noting how; true then.
bool Reaped(pid_t pid, TRunOutcome& outcome) {
  int status = 0;
  for (;;) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      if (WIFEXITED(status)) outcome.ExitStatus = WEXITSTATUS(status);
      if (WIFSIGNALED(status)) outcome.Signal = WTERMSIG(status);
      return true;
    }
    // ECHILD: someone else reaped it (SIGCHLD ignored by the client).
    if (r < 0 && errno == ECHILD) return true;
    if (r < 0 && errno == EINTR) continue;
    return false;
  }
}

// Sleeps until the child ends or the deadline passes.
void WaitForEnd(pid_t pid, Clock::time_point deadline, TRunOutcome& outcome) {
  const long pidfd = syscall(SYS_pidfd_open, pid, 0);
  while (!Reaped(pid, outcome)) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) break;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    if (pidfd >= 0) {
      // The descriptor becomes readable when the child ends.
      pollfd p{static_cast<int>(pidfd), POLLIN, 0};
      poll(&p, 1, ms > INT_MAX ? INT_MAX : static_cast<int>(ms));
    } else {
      // Kernels without pidfd: look again every few milliseconds.
      std::this_thread::sleep_for(std::chrono::milliseconds(ms < 10 ? ms : 10));
    }
  }
  if (pidfd >= 0) close(static_cast<int>(pidfd));
}

}  // namespace

std::string TRunOutcome::Failure() const {
  if (!Started) return "could not be started";
  if (TimedOut) return "did not end within the time limit and was stopped";
  if (Signal != 0) return "was ended by signal " + std::to_string(Signal);
  if (ExitStatus < 0) return "ended in an unknown way";
  return "ended with exit status " + std::to_string(ExitStatus);
}

TRunOutcome RunAndWait(const std::vector<std::string>& argv, std::chrono::milliseconds limit) {
  TRunOutcome outcome;
  if (argv.empty()) return outcome;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  // The child starts with default signal handling and an empty mask, not
  // with whatever the client set up for itself.
  posix_spawnattr_t attr;
  if (posix_spawnattr_init(&attr) != 0) return outcome;
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  const int started = posix_spawn(&pid, args[0], nullptr, &attr, args.data(), environ);
  posix_spawnattr_destroy(&attr);
  if (started != 0) return outcome;
  outcome.Started = true;

  WaitForEnd(pid, Clock::now() + limit, outcome);
  if (!Reaped(pid, outcome)) {
    outcome.TimedOut = true;
    kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  return outcome;
}

}  // namespace zylisp
