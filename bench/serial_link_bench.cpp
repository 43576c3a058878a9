// Programs, verifies and reads a chip over the serial link against zylsim
// with real-time pacing at 115200 baud, in lockstep, with the default
// send-ahead window and with a deeper one, and sets the wall time beside
// the full-duplex floor: the busier direction's bytes at 11,520 bytes/s
// plus the time the chip was busy writing or erasing (zylsim's
// write_cycle_us). Also the host's CPU time, the most bytes that waited in
// the adapter's receive buffer (zylsim's default of 64 bytes; any overrun
// fails the step), and the erases and page programs an SPI NOR flash saw.
//
// The step "sparse" programs a chip that already holds a random image
// (loaded through zylsim's image file, not counted) with a file that
// differs from it in 16 scattered sectors of the part's smallest erase
// unit (4 KiB when it has none): a whole read, those erases, their pages
// and their verify. Program rows start from an erased chip; after program
// and sparse the chip is compared with the file.
//
//   serial_link_bench [DEVICE] [--steps=LIST] [--windows=LIST] [LATENCY_MS ...]
//     DEVICE   default 24C1024
//     steps    program, verify, read, sparse (default program,verify,read)
//     windows  send-ahead windows 0..4096 (default 0,16,64)
//     latency  added per reply in ms (default 0 1 16)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
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
#include "bench_images.h"

using namespace bench;

namespace {

constexpr double kLineBytesPerSecond = 11520.0;  // 115200 baud, ten bits a byte

struct Figures {
  double wall = 0;
  double cpu = 0;
  double floor = 0;
  uint64_t bytes = 0;
  uint64_t waiting = 0;
  uint64_t erases[4] = {};  // 4 KiB, 32 KiB, 64 KiB, whole chip
  uint64_t pages = 0;
};

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

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) return bytes;
  uint8_t buffer[65536];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(in);
  return bytes;
}

// One operation in a zylsim session of its own, on a held connection so
// that the adapter's reset at open is not counted.
bool Measure(const std::string& device, const std::string& image, unsigned latency,
             const std::string& window, int32_t (*operation)(const std::string&),
             const std::string& file, Figures& f) {
  setenv("ZYLISP_SERIAL_WINDOW", window.c_str(), 1);
  testing_support::Zylsim sim({"--device=" + device, "--image=" + image, "--pace=1",
                               "--latency=" + std::to_string(latency), "--stats"});
  const std::string port = sim.FirstLine();
  if (port.empty()) {
    std::fprintf(stderr, "zylsim did not start: %s", sim.Stderr().c_str());
    return false;
  }
  setenv("ZYLISP_SERIAL_PORTS", port.c_str(), 1);
  if (Zyl_InitProgrammer("COM1", device.c_str(), ZYL_MODE_SERIAL) != 0 || Zyl_PROG_Open() != 0) {
    std::fprintf(stderr, "cannot open the programmer on %s: %s\n", port.c_str(), Zyl_GetLastError());
    return false;
  }
  const double cpu = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  const int32_t result = operation(file);
  f.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  f.cpu = CpuSeconds() - cpu;
  Zyl_PROG_Close();
  sim.CloseStdin();
  if (sim.Wait() != 0 || result != 0) {
    std::fprintf(stderr, "operation failed: %s %s\n", Zyl_GetLastError(), sim.Stderr().c_str());
    return false;
  }
  auto stats = ParseStatistics(sim.Stdout());
  f.bytes = stats["bytes_from_host"] + stats["bytes_to_host"];
  f.floor = static_cast<double>(std::max(stats["bytes_from_host"], stats["bytes_to_host"])) /
                kLineBytesPerSecond +
            static_cast<double>(stats["write_cycle_us"]) / 1e6;
  f.waiting = stats["rx_peak_waiting"];
  f.erases[0] = stats["flash_erases_4k"];
  f.erases[1] = stats["flash_erases_32k"];
  f.erases[2] = stats["flash_erases_64k"];
  f.erases[3] = stats["flash_chip_erases"];
  f.pages = stats["flash_page_programs"];
  if (stats["rx_overruns"] != 0) {
    std::fprintf(stderr, "the adapter lost %llu bytes\n",
                 static_cast<unsigned long long>(stats["rx_overruns"]));
    return false;
  }
  return true;
}

int32_t Program(const std::string& file) { return Zyl_ProgramEEPROM(file.c_str()); }
int32_t Verify(const std::string& file) { return Zyl_VerifyEEPROM(file.c_str()); }
int32_t Read(const std::string&) { return Zyl_ReadEEPROM(nullptr, 0); }

// What the chip holds before a step, and the file the step works on.
enum class Start { Erased, Input, Base };

struct Step {
  const char* name;
  int32_t (*run)(const std::string&);
  Start start;
  bool sparse;       // works on the sparse file
  bool checkResult;  // the chip must equal the file afterwards
};

const Step kSteps[] = {{"program", Program, Start::Erased, false, true},
                       {"verify", Verify, Start::Input, false, false},
                       {"read", Read, Start::Input, false, false},
                       {"sparse", Program, Start::Base, true, true}};

// A whole decimal number up to most, or -1.
long ParseCount(const std::string& text, long most) {
  if (text.empty() || text.size() > 9 ||
      text.find_first_not_of("0123456789") != std::string::npos)
    return -1;
  const long value = std::stol(text);
  return value <= most ? value : -1;
}

int Usage(const std::string& message) {
  std::fprintf(stderr,
               "serial_link_bench: %s\n"
               "usage: serial_link_bench [DEVICE] [--steps=program,verify,read,sparse] "
               "[--windows=0,16,64] [LATENCY_MS ...]\n",
               message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string device = "24C1024";
  bool deviceGiven = false;
  std::vector<const Step*> steps;
  std::vector<std::string> windows;
  std::vector<unsigned> latencies;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--steps=", 0) == 0) {
      for (const std::string& name : SplitList(arg.substr(8))) {
        const Step* found = nullptr;
        for (const Step& s : kSteps) {
          if (name == s.name) found = &s;
        }
        if (!found) return Usage("unknown step '" + name + "' (known: program, verify, read, sparse)");
        steps.push_back(found);
      }
      if (steps.empty()) return Usage("--steps= names no step");
    } else if (arg.rfind("--windows=", 0) == 0) {
      for (const std::string& w : SplitList(arg.substr(10))) {
        if (ParseCount(w, 4096) < 0) return Usage("window '" + w + "' is not a number from 0 to 4096");
        windows.push_back(w);
      }
      if (windows.empty()) return Usage("--windows= names no window");
    } else if (arg.rfind("--", 0) == 0) {
      return Usage("unknown option '" + arg + "'");
    } else if (!deviceGiven) {
      device = arg;
      deviceGiven = true;
    } else {
      const long latency = ParseCount(arg, 60000);
      if (latency < 0) return Usage("latency '" + arg + "' is not a number of ms from 0 to 60000");
      latencies.push_back(static_cast<unsigned>(latency));
    }
  }
  if (steps.empty()) steps = {&kSteps[0], &kSteps[1], &kSteps[2]};
  // Lockstep, the library's default, and the deepest that zylsim's default
  // receive buffer holds.
  if (windows.empty()) windows = {"0", "16", "64"};
  if (latencies.empty()) latencies = {0, 1, 16};

  if (Zyl_SetDevice(device.c_str()) != 0) {
    std::fprintf(stderr, "unknown device %s\n", device.c_str());
    return 2;
  }
  char dir[] = "/tmp/zylisp-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string folder = dir;
  setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  const std::string input = folder + "/in.bin";
  const std::string sparseInput = folder + "/sparse.bin";
  const std::string chip = folder + "/chip.bin";
  Zyl_SetMode(ZYL_MODE_SERIAL);
  Zyl_SetPort(1);
  const int32_t size = Zyl_GetBufferSize(ZYL_AREA_EEPROM);
  const TBenchImages images = MakeBenchImages(size, FlashEraseUnit(device));
  const std::vector<uint8_t>& bytes = images.Input;
  const std::vector<uint8_t>& base = images.Base;
  const std::vector<uint8_t>& sparse = images.Sparse;
  const int32_t unit = images.Unit;
  if (!WriteFile(input, bytes)) return 1;
  bool wantSparse = false;
  for (const Step* s : steps) wantSparse = wantSparse || s->sparse;
  if (wantSparse) {
    if (unit <= 0) {
      std::filesystem::remove_all(folder);
      return Usage(device + " is too small for " + std::to_string(kSparseSectors) + " sectors");
    }
    if (!WriteFile(sparseInput, sparse)) return 1;
  }

  std::printf("%s (%d bytes) over the serial link, zylsim --pace=1 at 115200 baud\n",
              device.c_str(), size);
  if (wantSparse)
    std::printf("sparse: %d sectors of %d bytes differ from what the chip holds\n", kSparseSectors, unit);
  std::printf("%-8s %8s %7s %10s %9s %9s %7s %8s %6s %8s %18s %6s\n", "step", "latency", "window",
              "wire bytes", "floor s", "wall s", "ratio", "cpu s", "cpu %", "waiting",
              "erases 4k/32k/64k/c", "pages");
  std::fflush(stdout);
  int status = 0;
  for (unsigned latency : latencies) {
    for (const Step* step : steps) {
      for (const std::string& window : windows) {
        const std::vector<uint8_t>& wanted = step->sparse ? sparse : bytes;
        std::filesystem::remove(chip);
        if ((step->start == Start::Input && !WriteFile(chip, bytes)) ||
            (step->start == Start::Base && !WriteFile(chip, base))) {
          std::fprintf(stderr, "cannot write %s\n", chip.c_str());
          return 1;
        }
        Figures f;
        if (!Measure(device, chip, latency, window, step->run, step->sparse ? sparseInput : input, f)) {
          status = 1;
          continue;
        }
        if (step->checkResult && ReadFile(chip) != wanted) {
          std::fprintf(stderr, "%s at %u ms, window %s: the chip does not hold the file\n", step->name,
                       latency, window.c_str());
          status = 1;
          continue;
        }
        const std::string erases = std::to_string(f.erases[0]) + "/" + std::to_string(f.erases[1]) + "/" +
                                   std::to_string(f.erases[2]) + "/" + std::to_string(f.erases[3]);
        std::printf("%-8s %6u ms %7s %10llu %9.2f %9.2f %7.3f %8.3f %5.2f%% %8llu %18s %6llu\n", step->name,
                    latency, window.c_str(), static_cast<unsigned long long>(f.bytes), f.floor, f.wall,
                    f.wall / f.floor, f.cpu, 100.0 * f.cpu / f.wall,
                    static_cast<unsigned long long>(f.waiting), erases.c_str(),
                    static_cast<unsigned long long>(f.pages));
        std::fflush(stdout);
      }
    }
  }
  std::filesystem::remove_all(folder);
  return status;
}
