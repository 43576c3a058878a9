#include "stop_signals.h"

#include <signal.h>

#include "progress.h"

namespace velkoisp {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t g_caught = 0;

void SetAction(int sig, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // Interrupted writes resume: no output line is cut by the handler.
  action.sa_flags = SA_RESTART;
  sigaction(sig, &action, nullptr);
}

void OnStopSignal(int sig) {
  if (g_caught != 0) {
    // Blocked while this handler runs: delivered, with its default action,
    // as soon as it returns.
    SetAction(sig, SIG_DFL);
    raise(sig);
    return;
  }
  g_caught = sig;
  Zyl_RequestStop();
}

}  // namespace

void InstallStopHandlers() {
  for (const int sig : kStopSignals) {
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    SetAction(sig, OnStopSignal);
  }
}

int StopSignal() { return g_caught; }

void ZYL_CALL ProgressWithStop(int32_t done, int32_t total) {
  if (g_caught != 0) Zyl_RequestStop();
  ShowProgress(done, total);
}

void RestoreDefaultActions() {
  for (const int sig : kStopSignals) {
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == OnStopSignal)
      SetAction(sig, SIG_DFL);
  }
}

void EndByStopSignal() {
  const int sig = g_caught;
  if (sig == 0) return;
  SetAction(sig, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, sig);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  raise(sig);
}

}  // namespace velkoisp
