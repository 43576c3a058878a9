// Sessions against zylsim paced at 115200 baud, each adapter a zylsim of
// its own with a blank chip:
//  (a) eight sessions at once, on eight threads and adapters, each opening,
//      programming, verifying and reading its chip, beside one session
//      doing the same alone: the wall-time ratio (goal: at most 1.3);
//  (b) program + verify through the classic calls, which work on the
//      default session, beside the same through a session the client
//      made: the wall-time ratio (goal: at most 1.01), and the CPU times.
//
//   session_bench [--quick] [--rounds=N]
//     --quick     a 24C64 (8 KiB) instead of the 24C1024 (128 KiB)
//     --rounds=N  N rounds of (b), classic and session in turn; the best
//                 of each counts (default 1)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/zylsim_process.h"
#include "zylisp.h"

namespace {

using testing_support::Zylsim;

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::unique_ptr<Zylsim> StartAdapter(const std::string& device, std::string& port) {
  auto sim = std::make_unique<Zylsim>(
      std::vector<std::string>{"--device=" + device, "--pace=1", "--stats"});
  port = sim->FirstLine();
  return sim;
}

// Ends zylsim; *wireBytes, when given, gets the bytes its line carried in
// both directions.
bool StopAdapter(Zylsim& sim, uint64_t* wireBytes = nullptr) {
  sim.CloseStdin();
  if (sim.Wait() != 0) {
    std::fprintf(stderr, "zylsim failed: %s\n", sim.Stderr().c_str());
    return false;
  }
  if (wireBytes) {
    *wireBytes = 0;
    std::istringstream stats(sim.Stdout());
    std::string name;
    uint64_t value = 0;
    while (stats >> name >> value) {
      if (name == "bytes_from_host" || name == "bytes_to_host") *wireBytes += value;
    }
  }
  return true;
}

// One session's work; failure names the step and the library's text.
struct SessionRun {
  std::string port;
  std::string failure;
  double seconds = 0;
};

bool Step(ZylSession* session, SessionRun& run, const char* what, int32_t result) {
  if (result == ZYL_OK) return true;
  run.failure = std::string(what) + ": " + Zyl_SessionGetResultText(session) + " " +
                Zyl_SessionGetErrorDetail(session);
  return false;
}

void ProgramVerifyRead(const std::string& device, const std::string& file, SessionRun& run) {
  const double start = Now();
  ZylSession* s = nullptr;
  if (Zyl_SessionCreate(&s) != ZYL_OK) {
    run.failure = "no session";
    return;
  }
  if (Step(s, run, "device", Zyl_SessionSetDevice(s, device.c_str())) &&
      Step(s, run, "port", Zyl_SessionSetPort(s, run.port.c_str())) &&
      Step(s, run, "open", Zyl_SessionOpen(s)) &&
      Step(s, run, "load", Zyl_SessionLoadFile(s, file.c_str())) &&
      Step(s, run, "program", Zyl_SessionProgram(s)) &&
      Step(s, run, "verify", Zyl_SessionVerify(s)) && Step(s, run, "read", Zyl_SessionRead(s))) {
    Step(s, run, "close", Zyl_SessionClose(s));
  }
  Zyl_SessionDestroy(s);
  run.seconds = Now() - start;
}

// (a): n sessions at once; the wall time from the first thread's start to
// the last one's end, and the slowest and fastest session.
bool Concurrent(const std::string& device, const std::string& file, int n, double& wall,
                double& slowest, double& fastest) {
  std::vector<std::unique_ptr<Zylsim>> sims;
  std::vector<SessionRun> runs(static_cast<std::size_t>(n));
  for (auto& run : runs) sims.push_back(StartAdapter(device, run.port));
  std::vector<std::thread> threads;
  const double start = Now();
  for (auto& run : runs) threads.emplace_back(ProgramVerifyRead, device, file, std::ref(run));
  for (auto& t : threads) t.join();
  wall = Now() - start;
  bool ok = true;
  for (auto& sim : sims) ok = StopAdapter(*sim) && ok;
  slowest = 0;
  fastest = 1e30;
  for (const auto& run : runs) {
    if (!run.failure.empty()) {
      std::fprintf(stderr, "session on %s failed: %s\n", run.port.c_str(), run.failure.c_str());
      ok = false;
    }
    slowest = std::max(slowest, run.seconds);
    fastest = std::min(fastest, run.seconds);
  }
  return ok;
}

struct Timing {
  double wall = 0;
  double cpu = 0;
  uint64_t wireBytes = 0;  // over the whole connection, open included
};

// (b) through the classic calls: the port reaches the default session as
// COM1 by ZYLISP_SERIAL_PORTS. Both sides hold the connection, so that the
// adapter's reset at open is not counted, and load the file before the
// program and again before the verify, as the classic calls do.
bool Classic(const std::string& device, const std::string& file, Timing& t) {
  std::string port;
  auto sim = StartAdapter(device, port);
  setenv("ZYLISP_SERIAL_PORTS", port.c_str(), 1);
  if (Zyl_InitProgrammer("COM1", device.c_str(), ZYL_MODE_SERIAL) != ZYL_OK ||
      Zyl_PROG_Open() != ZYL_OK) {
    std::fprintf(stderr, "classic open on %s failed: %s\n", port.c_str(), Zyl_GetLastError());
    return false;
  }
  const double cpu = CpuSeconds();
  const double start = Now();
  const bool ok = Zyl_ProgramEEPROM(file.c_str()) == ZYL_OK && Zyl_VerifyEEPROM(file.c_str()) == ZYL_OK;
  t.wall = Now() - start;
  t.cpu = CpuSeconds() - cpu;
  if (!ok) std::fprintf(stderr, "classic program + verify failed: %s\n", Zyl_GetLastError());
  Zyl_PROG_Close();
  return StopAdapter(*sim, &t.wireBytes) && ok;
}

bool Session(const std::string& device, const std::string& file, Timing& t) {
  SessionRun run;
  auto sim = StartAdapter(device, run.port);
  ZylSession* s = nullptr;
  bool ok = Zyl_SessionCreate(&s) == ZYL_OK &&
            Step(s, run, "device", Zyl_SessionSetDevice(s, device.c_str())) &&
            Step(s, run, "port", Zyl_SessionSetPort(s, run.port.c_str())) &&
            Step(s, run, "open", Zyl_SessionOpen(s));
  if (ok) {
    const double cpu = CpuSeconds();
    const double start = Now();
    ok = Step(s, run, "load", Zyl_SessionLoadFile(s, file.c_str())) &&
         Step(s, run, "program", Zyl_SessionProgram(s)) &&
         Step(s, run, "load", Zyl_SessionLoadFile(s, file.c_str())) &&
         Step(s, run, "verify", Zyl_SessionVerify(s));
    t.wall = Now() - start;
    t.cpu = CpuSeconds() - cpu;
  }
  if (!ok) std::fprintf(stderr, "session program + verify failed: %s\n", run.failure.c_str());
  Zyl_SessionDestroy(s);
  return StopAdapter(*sim, &t.wireBytes) && ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::string device = "24C1024";
  int rounds = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--quick") {
      device = "24C64";
    } else if (arg.rfind("--rounds=", 0) == 0 && std::atoi(arg.c_str() + 9) > 0) {
      rounds = std::atoi(arg.c_str() + 9);
    } else {
      std::fprintf(stderr, "usage: %s [--quick] [--rounds=N]\n", argv[0]);
      return 2;
    }
  }

  char dir[] = "/tmp/zylisp-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string folder = dir;
  setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  const std::string file = folder + "/in.bin";
  int32_t size = 0;
  if (Zyl_GetDeviceInfo(device.c_str(), nullptr, &size, nullptr) != ZYL_OK) return 1;
  std::vector<uint8_t> bytes(static_cast<std::size_t>(size));
  std::mt19937 rng(1);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  FILE* out = std::fopen(file.c_str(), "wb");
  if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) return 1;
  std::fclose(out);

  int status = 0;
  std::printf("%s (%d bytes), zylsim --pace=1 at 115200 baud\n\n", device.c_str(), size);
  std::printf("(a) open + program + verify + read per session\n");
  double alone = 0, eight = 0, slowest = 0, fastest = 0, unused = 0;
  if (Concurrent(device, file, 1, alone, unused, unused) &&
      Concurrent(device, file, 8, eight, slowest, fastest)) {
    std::printf("  1 session alone      %8.2f s\n", alone);
    std::printf("  8 sessions at once   %8.2f s   (sessions %.2f to %.2f s)\n", eight, fastest,
                slowest);
    std::printf("  ratio 8 / 1          %8.3f     (goal <= 1.3)\n\n", eight / alone);
  } else {
    status = 1;
  }
  std::fflush(stdout);

  std::printf("(b) program + verify on a held connection, best of %d\n", rounds);
  Timing classic{1e30, 0, 0}, session{1e30, 0, 0};
  for (int r = 0; r < rounds && status == 0; ++r) {
    // Each goes first in every other round, so that neither always meets
    // the machine as the other left it.
    Timing c, s;
    const bool ok = r % 2 == 0 ? Classic(device, file, c) && Session(device, file, s)
                               : Session(device, file, s) && Classic(device, file, c);
    if (!ok) {
      status = 1;
      break;
    }
    if (c.wall < classic.wall) classic = c;
    if (s.wall < session.wall) session = s;
  }
  if (status == 0) {
    std::printf("  classic calls (default session)  %8.2f s   cpu %.3f s   wire bytes %llu\n",
                classic.wall, classic.cpu, static_cast<unsigned long long>(classic.wireBytes));
    std::printf("  a session of the client's        %8.2f s   cpu %.3f s   wire bytes %llu\n",
                session.wall, session.cpu, static_cast<unsigned long long>(session.wireBytes));
    std::printf("  ratio classic / session          %8.4f     (goal <= 1.01)\n",
                classic.wall / session.wall);
  }
  std::filesystem::remove_all(folder);
  return status;
}
