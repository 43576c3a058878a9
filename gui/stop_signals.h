// Ending the window on SIGINT, SIGTERM or SIGHUP without losing a page:
// the handler only asks the library to stop the running chip operation and
// wakes the event loop through a pipe; the window then lets the operation
// end at its page boundary and closes. A second signal ends the process at
// once.
#pragma once

#include <signal.h>

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace zylgui {

class StopSignals : public QObject {
  Q_OBJECT

 public:
  // Catches the three signals, except those the process was started to
  // ignore, and forgets any signal caught before.
  explicit StopSignals(QObject* parent = nullptr);
  // The signals take the actions they had before again.
  ~StopSignals() override;

  // The first signal caught, or 0.
  static int caught();
  // Its name, such as SIGTERM.
  static QString name(int sig);
  // Ends the process by the signal caught, with its default action;
  // returns only when none was caught.
  static void endByCaughtSignal();

 signals:
  // On the thread of the object, once, for the first signal.
  void stopRequested(int sig);

 private:
  int pipe_[2] = {-1, -1};
  // SIGINT, SIGTERM and SIGHUP as they were, and which of them are caught.
  struct sigaction previous_[3] = {};
  bool installed_[3] = {};
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace zylgui
