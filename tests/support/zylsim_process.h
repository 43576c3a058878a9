// The zylsim program, spawned as a user would run it, with its standard
// streams on pipes.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// Path of the built zylsim.
std::string ZylsimProgram();

// Reads from fd until done holds on what was read, end of file or limitMs.
std::string ReadUntil(int fd, const std::function<bool(const std::string&)>& done,
                      int limitMs = 30000);

class Zylsim {
 public:
  // Starts zylsim with the options; throws std::runtime_error when it
  // cannot be started.
  explicit Zylsim(const std::vector<std::string>& options);
  // Kills a program still running.
  ~Zylsim();
  Zylsim(const Zylsim&) = delete;
  Zylsim& operator=(const Zylsim&) = delete;

  // The first line of output: the pseudo-terminal's path.
  std::string FirstLine();
  void CloseStdin();
  void Signal(int sig);
  pid_t Pid() const { return pid_; }
  // Waits for the end; returns the exit status (-1 for a signal).
  int Wait();
  // The rest of the output up to the end of the program.
  std::string Stdout();
  std::string Stderr();

 private:
  pid_t pid_ = -1;
  int stdin_ = -1, stdout_ = -1, stderr_ = -1;
  std::string rest_;
};

}  // namespace testing_support
