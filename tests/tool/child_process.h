// The built velkoisp, spawned as a user runs it, in the test's environment.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tool_testing {

struct RunResult {
  int status = -1;  // exit status; -1 after a signal
  std::string out;
  std::string err;
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
  // Closes standard input, reads both outputs to their end, waits.
  RunResult Finish();

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;
  std::string outText_, errText_;
};

// velkoisp with these arguments, to its end; its standard input is empty.
RunResult RunVelkoisp(const std::vector<std::string>& args);

}  // namespace tool_testing
