// Ending a run on SIGINT, SIGTERM or SIGHUP without leaving a mess: the
// running chip operation stops at its next page boundary, the status line
// and the console title are finished, the programmer is closed, and then
// the process ends by the same signal.
#pragma once

#include <cstdint>

#include "zylisp.h"

namespace velkoisp {

// Catches the three signals, except those the process was started to
// ignore. The handler only records the signal and asks the library to
// stop; a second signal ends the process at once.
void InstallStopHandlers();

// The first signal caught, or 0.
int StopSignal();

// The progress callback of the run: shows the progress, and renews a stop
// request that the library forgot because it came just before the
// operation started.
void ZYL_CALL ProgressWithStop(int32_t done, int32_t total);

// The caught signals take their default action again.
void RestoreDefaultActions();

// Ends the process by the signal caught (its default action); returns only
// when none was caught.
void EndByStopSignal();

}  // namespace velkoisp
