#include "progress.h"

#include <ostream>
#include <string>

namespace velkoisp {

namespace {

std::ostream* g_console = nullptr;
bool g_terminal = false;

bool ShowsControls() { return g_console && g_terminal; }

}  // namespace

void SetConsole(std::ostream* console, bool terminal) {
  g_console = console;
  g_terminal = terminal;
}

void SetConsoleTitle(const std::string& title) {
  if (!ShowsControls()) return;
  // One write: a process ended by a signal never leaves half an escape.
  *g_console << ("\x1b]0;" + title + '\x07');
  g_console->flush();
}

void ShowToolTitle() {
  SetConsoleTitle(std::string("VELKOISP Commandline Tool v") + Zyl_GetDLLversion());
}

void ZYL_CALL ShowProgress(int32_t done, int32_t total) {
  // The serial link reports (-1, -1) while it synchronises: no percentage.
  if (!ShowsControls() || total <= 0 || done < 0) return;
  const int64_t percent = static_cast<int64_t>((100.0 / total) * done);
  SetConsoleTitle("Zyl ISP Commandline Loader - " + std::to_string(percent) + "%");
  std::string text = (percent < 10 ? "0" : "") + std::to_string(percent) + "%";
  // Step back over all of it, so that the next text overwrites it whole.
  text.append(text.size(), '\b');
  *g_console << text;
  g_console->flush();
}

}  // namespace velkoisp
