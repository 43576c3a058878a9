// zylsim: the emulated adapter served on a pseudo-terminal.
//
// The first line of output is the slave device path. The program runs until
// SIGTERM or SIGINT arrives or its standard input closes, keeping the chip
// between connections, then writes the image back and ends with status 0.
// Bad options: a message on standard error and status 2.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "zylsim/emulator.h"
#include "zylsim/serial_link.h"

namespace {

const char kUsage[] =
    "Usage: zylsim --device=NAME [options]\n"
    "Serves an emulated programmer adapter with its chip on a pseudo-terminal;\n"
    "prints the terminal's path as its first line.\n"
    "\n"
    "  --device=NAME      chip, by catalogue or AT45DB name (required)\n"
    "  --fitted=NAME      the chip in the socket when it is another part than\n"
    "                     --device, or none for an empty socket\n"
    "  --image=PATH       raw chip contents, loaded at start and written back\n"
    "                     (its folder must exist and be writable)\n"
    "  --org=8|16         Microwire organisation (default 8)\n"
    "  --firmware=TEXT    version reply (default 000A)\n"
    "  --identity=TEXT    identity reply (default EEPROMISP)\n"
    "  --pace=0|1         real-time line and write-cycle timing\n"
    "  --latency=MS       added round trip per reply\n"
    "  --rxbuffer=N       bytes the adapter holds while busy (default 64,\n"
    "                     0 unbounded; paced line only); more are dropped\n"
    "  --jedecid=0xMMTTCC ID an SPI NOR flash answers instead of its own\n"
    "  --fault=LIST       silent, badecho, busy, error:C:N:K, ack:C:N:K, cut:N,\n"
    "                     stuck:ADDR:MASK:VALUE\n"
    "                     (several separated by '+' or ';')\n"
    "  --stats            print statistics when the program ends\n"
    "  --help             this text\n"
    "\n"
    "Ends on SIGTERM, SIGINT or when standard input closes.\n";

int Usage(const std::string& message) {
  std::cerr << "zylsim: " << message << "\nTry 'zylsim --help'.\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  zylsim::EmulatorConfig config;
  std::unique_ptr<zylsim::Emulator> emulator;
  bool stats = false;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg == "--help") {
        std::cout << kUsage;
        return 0;
      }
      if (arg == "--stats") {
        stats = true;
        continue;
      }
      const auto eq = arg.find('=');
      if (arg.compare(0, 2, "--") != 0 || eq == std::string::npos || eq == 2)
        return Usage("unknown option '" + arg + "'");
      const std::string key = arg.substr(2, eq - 2);
      if (key == "stats" || key == "help") return Usage("option --" + key + " takes no value");
      config.Set(key, arg.substr(eq + 1));
    }
    config.Check();
    emulator = std::make_unique<zylsim::Emulator>(config);
  } catch (const zylsim::ConfigError& e) {
    return Usage(e.what());
  }

  // Signals arrive as readable data, so the serving loop ends cleanly.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stopSignals, s);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // Sleeps end when they are due: a paced line must not lose the default
  // 50 us of timer slack on every reply.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  const int signals = signalfd(-1, &stopSignals, SFD_CLOEXEC);
  if (signals < 0) {
    std::cerr << "zylsim: signalfd: " << std::strerror(errno) << '\n';
    return 1;
  }

  int status = 0;
  try {
    zylsim::SerialLink link(*emulator);
    std::cout << link.SlavePath() << std::endl;
    for (;;) {
      const int fd = link.ServeUntil({STDIN_FILENO, signals});
      if (fd == signals) break;
      char buffer[256];
      const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) break;
    }
  } catch (const std::exception& e) {
    std::cerr << "zylsim: " << e.what() << '\n';
    status = 1;
  }

  try {
    emulator->Persist();
  } catch (const std::exception& e) {
    std::cerr << "zylsim: " << e.what() << '\n';
    status = 1;
  }
  if (stats) emulator->PrintStatistics(std::cout);
  std::cout.flush();
  close(signals);
  return status;
}
