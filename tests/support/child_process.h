// Programs spawned as a user runs them, in the test's environment, with
// their standard streams on pipes.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// Reads from fd until done holds on what was read, end of file or limitMs.
std::string ReadUntil(int fd, const std::function<bool(const std::string&)>& done,
                      int limitMs = 30000);

struct RunResult {
  int status = -1;  // exit status; -1 after a signal
  std::string out;
  std::string err;
  int signal = 0;  // the signal that ended the program, if one did
};

// A program with its standard streams on pipes (or its output on a
// descriptor of the caller's).
class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               int stdoutFd = -1);
  ~ChildProcess();  // kills a child that still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads standard output until it holds text or ends; all read so far.
  std::string ReadUntil(const std::string& text);
  void CloseStdin();
  void Signal(int sig);
  pid_t Pid() const { return pid_; }
  // Closes standard input, reads both outputs to their end, waits.
  RunResult Finish();

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;
  std::string outText_, errText_;
};

}  // namespace testing_support
