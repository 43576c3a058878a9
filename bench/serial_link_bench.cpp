// Programs, verifies and reads a chip over the serial link against zylsim
// with real-time pacing at 115200 baud, in lockstep, with the default
// send-ahead window and with a deeper one, and sets the wall time beside
// the full-duplex floor: the busier direction's bytes at 11,520 bytes/s
// plus the chip's write cycles. Also the host's CPU time, and the most
// bytes that waited in the adapter's receive buffer (zylsim's default of
// 64 bytes; any overrun fails the step).
//
//   serial_link_bench [DEVICE [LATENCY_MS ...]]   (default 24C1024, latencies 0 1 16)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/zylsim_process.h"
#include "zylisp.h"

namespace {

constexpr double kLineBytesPerSecond = 11520.0;  // 115200 baud, ten bits a byte

struct Figures {
  double wall = 0;
  double cpu = 0;
  double floor = 0;
  uint64_t bytes = 0;
  uint64_t waiting = 0;
};

// The windows measured: lockstep, the library's default, and the deepest
// that zylsim's default receive buffer holds.
const char* const kWindows[] = {"0", "16", "64"};

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::map<std::string, uint64_t> ParseStatistics(const std::string& text) {
  std::map<std::string, uint64_t> values;
  std::istringstream in(text);
  std::string name;
  uint64_t value = 0;
  while (in >> name >> value) values[name] = value;
  return values;
}

// One operation in a zylsim session of its own, on a held connection so
// that the adapter's reset at open is not counted.
bool Measure(const std::string& device, const std::string& image, unsigned latency,
             const char* window, int32_t (*operation)(), Figures& f) {
  setenv("ZYLISP_SERIAL_WINDOW", window, 1);
  testing_support::Zylsim sim({"--device=" + device, "--image=" + image, "--pace=1",
                               "--latency=" + std::to_string(latency), "--stats"});
  const std::string port = sim.FirstLine();
  setenv("ZYLISP_SERIAL_PORTS", port.c_str(), 1);
  if (Zyl_InitProgrammer("COM1", device.c_str(), ZYL_MODE_SERIAL) != 0 || Zyl_PROG_Open() != 0) {
    std::fprintf(stderr, "cannot open the programmer on %s: %s\n", port.c_str(), Zyl_GetLastError());
    return false;
  }
  const double cpu = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  const int32_t result = operation();
  f.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  f.cpu = CpuSeconds() - cpu;
  Zyl_PROG_Close();
  sim.CloseStdin();
  if (sim.Wait() != 0 || result != 0) {
    std::fprintf(stderr, "operation failed: %s\n", Zyl_GetLastError());
    return false;
  }
  auto stats = ParseStatistics(sim.Stdout());
  f.bytes = stats["bytes_from_host"] + stats["bytes_to_host"];
  f.floor = static_cast<double>(std::max(stats["bytes_from_host"], stats["bytes_to_host"])) /
                kLineBytesPerSecond +
            static_cast<double>(stats["write_cycle_us"]) / 1e6;
  f.waiting = stats["rx_peak_waiting"];
  if (stats["rx_overruns"] != 0) {
    std::fprintf(stderr, "the adapter lost %llu bytes\n",
                 static_cast<unsigned long long>(stats["rx_overruns"]));
    return false;
  }
  return true;
}

std::string g_input;
int32_t Program() { return Zyl_ProgramEEPROM(g_input.c_str()); }
int32_t Verify() { return Zyl_VerifyEEPROM(g_input.c_str()); }
int32_t Read() { return Zyl_ReadEEPROM(nullptr, 0); }

}  // namespace

int main(int argc, char** argv) {
  const std::string device = argc > 1 ? argv[1] : "24C1024";
  std::vector<unsigned> latencies;
  for (int i = 2; i < argc; ++i) latencies.push_back(static_cast<unsigned>(std::atoi(argv[i])));
  if (latencies.empty()) latencies = {0, 1, 16};

  char dir[] = "/tmp/zylisp-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string folder = dir;
  setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  g_input = folder + "/in.bin";
  if (Zyl_SetDevice(device.c_str()) != 0) {
    std::fprintf(stderr, "unknown device %s\n", device.c_str());
    return 1;
  }
  Zyl_SetMode(ZYL_MODE_SERIAL);
  Zyl_SetPort(1);
  const int32_t size = Zyl_GetBufferSize(ZYL_AREA_EEPROM);
  std::vector<uint8_t> bytes(static_cast<std::size_t>(size));
  std::mt19937 rng(1);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  FILE* out = std::fopen(g_input.c_str(), "wb");
  if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) return 1;
  std::fclose(out);

  std::printf("%s (%d bytes) over the serial link, zylsim --pace=1 at 115200 baud\n",
              device.c_str(), size);
  std::printf("%-8s %8s %7s %10s %9s %9s %7s %8s %6s %8s\n", "step", "latency", "window",
              "wire bytes", "floor s", "wall s", "ratio", "cpu s", "cpu %", "waiting");
  struct Step {
    const char* name;
    int32_t (*run)();
  };
  const Step steps[] = {{"program", Program}, {"verify", Verify}, {"read", Read}};
  int status = 0;
  for (unsigned latency : latencies) {
    const std::string image = folder + "/chip-" + std::to_string(latency) + ".bin";
    for (const Step& step : steps) {
      for (const char* window : kWindows) {
        Figures f;
        if (!Measure(device, image, latency, window, step.run, f)) {
          status = 1;
          continue;
        }
        std::printf("%-8s %6u ms %7s %10llu %9.2f %9.2f %7.3f %8.3f %5.2f%% %8llu\n", step.name,
                    latency, window, static_cast<unsigned long long>(f.bytes), f.floor, f.wall,
                    f.wall / f.floor, f.cpu, 100.0 * f.cpu / f.wall,
                    static_cast<unsigned long long>(f.waiting));
        std::fflush(stdout);
      }
    }
  }
  std::filesystem::remove_all(folder);
  return status;
}
