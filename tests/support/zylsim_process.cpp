#include "support/zylsim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

extern char** environ;

namespace testing_support {

std::string ZylsimProgram() { return ZYLSIM_PATH; }

std::string ReadUntil(int fd, const std::function<bool(const std::string&)>& done, int limitMs) {
  std::string out;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (!done(out)) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buf[512];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  return out;
}

Zylsim::Zylsim(const std::vector<std::string>& options) {
  const std::string program = ZylsimProgram();
  int in[2], out[2], err[2];
  // Close-on-exec: a second zylsim must not keep the first one's input open.
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
    posix_spawn_file_actions_addclose(&actions, fd);
  std::vector<std::string> all = {program};
  all.insert(all.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  const int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  stdin_ = in[1];
  stdout_ = out[0];
  stderr_ = err[0];
  if (spawned != 0) {
    pid_ = -1;
    throw std::runtime_error("cannot start " + program);
  }
}

Zylsim::~Zylsim() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  CloseStdin();
  close(stdout_);
  close(stderr_);
}

std::string Zylsim::FirstLine() {
  const std::string line =
      ReadUntil(stdout_, [](const std::string& s) { return s.find('\n') != std::string::npos; });
  const auto nl = line.find('\n');
  rest_ = nl == std::string::npos ? "" : line.substr(nl + 1);
  return line.substr(0, nl);
}

void Zylsim::CloseStdin() {
  if (stdin_ >= 0) close(stdin_);
  stdin_ = -1;
}

void Zylsim::Signal(int sig) { kill(pid_, sig); }

int Zylsim::Wait() {
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Zylsim::Stdout() {
  return rest_ + ReadUntil(stdout_, [](const std::string&) { return false; });
}

std::string Zylsim::Stderr() {
  return ReadUntil(stderr_, [](const std::string&) { return false; });
}

}  // namespace testing_support
