#include "stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <QSocketNotifier>

#include "zylisp.h"

namespace zylgui {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t g_caught = 0;
// The pipe end the handler writes to; -1 when no object listens.
volatile sig_atomic_t g_wakeFd = -1;

void setAction(int sig, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(sig, &action, nullptr);
}

// Async-signal-safe only: atomic stores, write and raise.
void onStopSignal(int sig) {
  if (g_caught != 0) {
    // Blocked while this handler runs: the default action follows as soon
    // as it returns.
    setAction(sig, SIG_DFL);
    raise(sig);
    return;
  }
  g_caught = sig;
  Zyl_RequestStop();
  const int fd = g_wakeFd;
  if (fd >= 0) {
    const int saved = errno;
    const char byte = 1;
    (void)!write(fd, &byte, 1);
    errno = saved;
  }
}

}  // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    char bytes[16];
    while (read(pipe_[0], bytes, sizeof bytes) > 0) {
    }
    // Only the first signal is for the window; the next one ends it.
    notifier_->setEnabled(false);
    emit stopRequested(caught());
  });
  g_caught = 0;
  g_wakeFd = pipe_[1];
  for (int i = 0; i < 3; ++i) {
    if (sigaction(kStopSignals[i], nullptr, &previous_[i]) != 0 ||
        previous_[i].sa_handler == SIG_IGN)
      continue;
    setAction(kStopSignals[i], onStopSignal);
    installed_[i] = true;
  }
}

StopSignals::~StopSignals() {
  if (pipe_[1] < 0) return;
  if (g_wakeFd == pipe_[1]) {
    for (int i = 0; i < 3; ++i) {
      struct sigaction now {};
      if (installed_[i] && sigaction(kStopSignals[i], nullptr, &now) == 0 &&
          now.sa_handler == onStopSignal)
        sigaction(kStopSignals[i], &previous_[i], nullptr);
    }
    g_wakeFd = -1;
  }
  close(pipe_[0]);
  close(pipe_[1]);
}

int StopSignals::caught() { return g_caught; }

QString StopSignals::name(int sig) {
  switch (sig) {
    case SIGINT: return QStringLiteral("SIGINT");
    case SIGTERM: return QStringLiteral("SIGTERM");
    case SIGHUP: return QStringLiteral("SIGHUP");
    default: return QStringLiteral("signal %1").arg(sig);
  }
}

void StopSignals::endByCaughtSignal() {
  const int sig = g_caught;
  if (sig == 0) return;
  setAction(sig, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, sig);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  raise(sig);
}

}  // namespace zylgui
