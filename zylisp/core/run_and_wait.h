// Starts a program and waits for it to end, within a time limit.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace zylisp {

// How a program run by RunAndWait ended.
struct TRunOutcome {
  bool Started = false;
  bool TimedOut = false;  // still running at the limit, then killed
  int ExitStatus = -1;    // its exit status when it exited, else -1
  int Signal = 0;         // the signal that ended it, else 0
  // Started, exited by itself and with status 0.
  bool Succeeded() const { return Started && !TimedOut && ExitStatus == 0; }
  // Why it did not succeed, for a message: "exit status 3", "signal 9",
  // "no end within the time limit", "could not be started".
  std::string Failure() const;
};

// Starts argv[0] with the given arguments, the caller's environment and
// current folder, and waits until it ends or limit passes; a program still
// running then is killed. Never busy-waits.
TRunOutcome RunAndWait(const std::vector<std::string>& argv, std::chrono::milliseconds limit);

}  // namespace zylisp
