// Progress on the console: percentages overwritten in place and the console
// title. Both appear only on a terminal; output to a file or pipe stays
// free of control characters.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "zylisp.h"

namespace velkoisp {

// The stream that progress and titles go to, and whether it is a terminal.
// Without a console nothing is shown.
void SetConsole(std::ostream* console, bool terminal);

// Sets the console's window title.
void SetConsoleTitle(const std::string& title);

// The tool's own title with the library's version: set by the banner, and
// again when a stopped run ends, over the last percentage.
void ShowToolTitle();

// The library's progress callback: (done, total) bytes of the current pass.
void ZYL_CALL ShowProgress(int32_t done, int32_t total);

}  // namespace velkoisp
