// The zylsim program, spawned as a user would run it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/child_process.h"

namespace testing_support {

// Path of the built zylsim.
std::string ZylsimProgram();

class Zylsim {
 public:
  // Starts zylsim with the options; throws std::runtime_error when it
  // cannot be started. A program still running at the end is killed.
  explicit Zylsim(const std::vector<std::string>& options);

  // The first line of output: the pseudo-terminal's path.
  std::string FirstLine();
  void CloseStdin() { child_.CloseStdin(); }
  void Signal(int sig) { child_.Signal(sig); }
  pid_t Pid() const { return child_.Pid(); }
  // Waits for the end; returns the exit status (-1 for a signal).
  int Wait();
  // What the program wrote after its first line, and on standard error, up
  // to its end.
  std::string Stdout();
  std::string Stderr();

 private:
  ChildProcess child_;
  std::size_t firstLineEnd_ = 0;
  bool ended_ = false;
  RunResult result_;
};

}  // namespace testing_support
