#include "support/child_process.h"

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

namespace {

// Generous: the machine may be loaded and the build sanitised.
constexpr auto kLimit = std::chrono::minutes(5);

// Appends what is readable on fd; false at its end.
bool Drain(int fd, std::string& text) {
  char buffer[4096];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  if (n <= 0) return false;
  text.append(buffer, static_cast<std::size_t>(n));
  return true;
}

}  // namespace

std::string ReadUntil(int fd, const std::function<bool(const std::string&)>& done, int limitMs) {
  std::string out;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (!done(out)) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0 || !Drain(fd, out)) break;
  }
  return out;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           int stdoutFd) {
  int in[2], out[2], err[2];
  // Close-on-exec: no other child may hold these pipes open.
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, stdoutFd >= 0 ? stdoutFd : out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<std::string> texts = {program};
  texts.insert(texts.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& t : texts) argv.push_back(&t[0]);
  argv.push_back(nullptr);
  const int failed = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  in_ = in[1];
  out_ = out[0];
  err_ = err[0];
  if (failed) {
    pid_ = -1;
    throw std::runtime_error("cannot start " + program);
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  for (int fd : {in_, out_, err_})
    if (fd >= 0) close(fd);
}

std::string ChildProcess::ReadUntil(const std::string& text) {
  const auto end = std::chrono::steady_clock::now() + kLimit;
  while (outText_.find(text) == std::string::npos && std::chrono::steady_clock::now() < end) {
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, 1000) > 0 && !Drain(out_, outText_)) break;
  }
  return outText_;
}

void ChildProcess::CloseStdin() {
  if (in_ >= 0) close(in_);
  in_ = -1;
}

void ChildProcess::Signal(int sig) {
  if (pid_ > 0) kill(pid_, sig);
}

RunResult ChildProcess::Finish() {
  CloseStdin();
  const auto end = std::chrono::steady_clock::now() + kLimit;
  bool outOpen = true, errOpen = true;
  while ((outOpen || errOpen) && std::chrono::steady_clock::now() < end) {
    pollfd p[2] = {{outOpen ? out_ : -1, POLLIN, 0}, {errOpen ? err_ : -1, POLLIN, 0}};
    if (poll(p, 2, 1000) <= 0) continue;
    if (p[0].revents) outOpen = Drain(out_, outText_);
    if (p[1].revents) errOpen = Drain(err_, errText_);
  }
  if (outOpen || errOpen) kill(pid_, SIGKILL);  // over the limit
  RunResult result{-1, outText_, errText_};
  int status = 0;
  if (waitpid(pid_, &status, 0) == pid_) {
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  }
  pid_ = -1;
  return result;
}

}  // namespace testing_support
