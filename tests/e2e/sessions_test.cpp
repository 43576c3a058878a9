// Sessions through the exports: several at once on several threads, each
// with its own emulated adapter on the simulated LPT1, their stop requests,
// their refusals, and the image moved in blocks.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/test_files.h"
#include "zylisp.h"

namespace {

std::vector<uint8_t> RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng() % 0xFF);  // never FF: not blank
  return bytes;
}

// Progress as one session's handler saw it, through its user pointer.
struct TSeen {
  std::atomic<int32_t> Done{-1};
  std::atomic<int32_t> Total{0};
  std::atomic<int32_t> Stage{0};
};

void ZYL_CALL Note(void* user, int32_t stage, int32_t done, int32_t total) {
  auto* seen = static_cast<TSeen*>(user);
  seen->Stage = stage;
  seen->Done = done;
  seen->Total = total;
}

// A session with device and port chosen, closed and freed at the end.
class TClient {
 public:
  explicit TClient(const std::string& device, const char* port = "LPT1") {
    EXPECT_EQ(Zyl_SessionCreate(&s), 0);
    EXPECT_EQ(Zyl_SessionSetDevice(s, device.c_str()), 0);
    if (port) {
      EXPECT_EQ(Zyl_SessionSetPort(s, port), 0) << Zyl_SessionGetErrorDetail(s);
    }
    Zyl_SessionSetProgressHandler(s, &Note, &seen);
  }
  ~TClient() { Zyl_SessionDestroy(s); }
  TClient(const TClient&) = delete;
  TClient& operator=(const TClient&) = delete;

  int32_t Size() {
    int32_t size = 0;
    Zyl_SessionGetImageSize(s, &size);
    return size;
  }
  std::vector<uint8_t> Image() {
    std::vector<uint8_t> bytes(static_cast<std::size_t>(Size()));
    EXPECT_EQ(Zyl_SessionReadImage(s, 0, bytes.data(), Size()), 0);
    return bytes;
  }
  // Reads the chip back into a blanked image.
  std::vector<uint8_t> Chip() {
    Zyl_SessionClearImage(s);
    EXPECT_EQ(Zyl_SessionRead(s), 0) << Zyl_SessionGetErrorDetail(s);
    return Image();
  }
  int32_t Program(const std::vector<uint8_t>& data) {
    EXPECT_EQ(Zyl_SessionWriteImage(s, 0, data.data(), static_cast<int32_t>(data.size())), 0);
    return Zyl_SessionProgram(s);
  }

  ZylSession* s = nullptr;
  TSeen seen;
};

class Sessions : public ::testing::TestWithParam<const char*> {
 protected:
  testing_support::TempDir dir_;
  testing_support::ScopedEnv config_{"XDG_CONFIG_HOME", dir_.Path().c_str()};
  testing_support::ScopedEnv sim_{"ZYLISP_LPT_SIM",
                                  (std::string("device=") + GetParam()).c_str()};
};

// Two sessions on two threads, each on its own chip: what each programs,
// verifies and reads back is its own data, and its progress reaches its
// own handler.
TEST_P(Sessions, RunAtOnceEachOnItsOwnChip) {
  constexpr int kClients = 2;
  std::vector<std::vector<uint8_t>> read(kClients);
  std::vector<std::vector<int32_t>> codes(kClients);
  std::vector<std::unique_ptr<TClient>> clients;
  for (int i = 0; i < kClients; ++i) clients.push_back(std::make_unique<TClient>(GetParam()));
  const std::size_t size = static_cast<std::size_t>(clients[0]->Size());
  ASSERT_GT(size, 0u);
  std::vector<std::thread> threads;
  for (int i = 0; i < kClients; ++i) {
    threads.emplace_back([&, i] {
      TClient& c = *clients[static_cast<std::size_t>(i)];
      codes[static_cast<std::size_t>(i)] = {Zyl_SessionOpen(c.s),
                                            c.Program(RandomBytes(size, 10u + unsigned(i))),
                                            Zyl_SessionVerify(c.s)};
      read[static_cast<std::size_t>(i)] = c.Chip();
      codes[static_cast<std::size_t>(i)].push_back(Zyl_SessionClose(c.s));
    });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < kClients; ++i) {
    const auto k = static_cast<std::size_t>(i);
    EXPECT_EQ(codes[k], std::vector<int32_t>(4, 0)) << "session " << i;
    EXPECT_EQ(read[k], RandomBytes(size, 10u + unsigned(i))) << "session " << i;
    EXPECT_EQ(clients[k]->seen.Stage, ZYL_STAGE_READ);
    EXPECT_GT(clients[k]->seen.Done, 0);
    EXPECT_EQ(clients[k]->seen.Total, static_cast<int32_t>(size));
  }
}

INSTANTIATE_TEST_SUITE_P(BusKinds, Sessions, ::testing::Values("24C16", "25C080", "93C46"));

// Which sessions a stop request ends: its own session's, or with the
// process's request every running one. A stopped session is usable at once.
struct TStopCase {
  const char* name;
  bool processWide;
  int32_t first;
  int32_t second;
};

class StopRequests : public ::testing::TestWithParam<TStopCase> {
 protected:
  testing_support::TempDir dir_;
  testing_support::ScopedEnv config_{"XDG_CONFIG_HOME", dir_.Path().c_str()};
  testing_support::ScopedEnv sim_{"ZYLISP_LPT_SIM", "device=24C256"};
};

TEST_P(StopRequests, EndTheOperationsTheyAreFor) {
  TClient first("24C256"), second("24C256");
  const std::vector<uint8_t> data = RandomBytes(static_cast<std::size_t>(first.Size()), 3);
  std::atomic<int32_t> codes[2] = {-1, -1};
  std::thread a([&] { codes[0] = first.Program(data); });
  std::thread b([&] { codes[1] = second.Program(data); });
  // Both are under way before the request.
  while ((first.seen.Done <= 0 || second.seen.Done <= 0) && codes[0] < 0 && codes[1] < 0)
    std::this_thread::yield();
  if (GetParam().processWide)
    Zyl_RequestStop();
  else
    Zyl_SessionRequestStop(first.s);
  a.join();
  b.join();
  EXPECT_EQ(codes[0], GetParam().first);
  EXPECT_EQ(codes[1], GetParam().second);
  EXPECT_STREQ(Zyl_SessionGetResultText(first.s), "Operation cancelled");
  // The stopped chip holds what was written before the stop; one that ran
  // on holds all of it.
  if (GetParam().second == ZYL_OK) {
    EXPECT_EQ(second.Chip(), data);
  }
  EXPECT_EQ(first.Program(data), 0) << Zyl_SessionGetErrorDetail(first.s);
  EXPECT_EQ(first.Chip(), data);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StopRequests,
    ::testing::Values(TStopCase{"OneSession", false, ZYL_ERR_CANCELLED, ZYL_OK},
                      TStopCase{"TheProcess", true, ZYL_ERR_CANCELLED, ZYL_ERR_CANCELLED}),
    [](const auto& info) { return std::string(info.param.name); });

// Calls a session refuses, with the code and the words of the detail.
struct TRefusal {
  const char* name;
  std::function<int32_t(ZylSession*)> call;
  int32_t code;
  const char* detail;
};

class SessionRefusals : public ::testing::TestWithParam<TRefusal> {
 protected:
  testing_support::TempDir dir_;
  testing_support::ScopedEnv config_{"XDG_CONFIG_HOME", dir_.Path().c_str()};
  testing_support::ScopedEnv serial_{"ZYLISP_SERIAL_PORTS", "/dev/zyl-none-a"};
  testing_support::ScopedEnv sim_{"ZYLISP_LPT_SIM", "device=24C16"};
};

TEST_P(SessionRefusals, GiveTheCodeAndSayWhy) {
  TClient client("24C16", nullptr);
  const std::vector<uint8_t> before = client.Image();
  EXPECT_EQ(GetParam().call(client.s), GetParam().code);
  EXPECT_EQ(Zyl_SessionGetResult(client.s), GetParam().code);
  EXPECT_NE(std::string(Zyl_SessionGetErrorDetail(client.s)).find(GetParam().detail),
            std::string::npos)
      << Zyl_SessionGetErrorDetail(client.s);
  EXPECT_EQ(client.Image(), before);
}

uint8_t g_bytes[64];

INSTANTIATE_TEST_SUITE_P(
    Cases, SessionRefusals,
    ::testing::Values(
        TRefusal{"NoPortChosen", [](ZylSession* s) { return Zyl_SessionProgram(s); },
                 ZYL_ERR_NOT_READY, ""},
        TRefusal{"UnknownPort", [](ZylSession* s) { return Zyl_SessionSetPort(s, "COM9"); },
                 ZYL_ERR_PORT,
                 "there is no port COM9 here; the ports are COM1 (/dev/zyl-none-a), LPT1"},
        TRefusal{"ReadPastTheImage",
                 [](ZylSession* s) { return Zyl_SessionReadImage(s, 2040, g_bytes, 16); },
                 ZYL_ERR_OUTSIDE_BUFFER, "16 bytes at 2040 do not lie inside the image of 2048"},
        TRefusal{"WriteBeforeTheImage",
                 [](ZylSession* s) { return Zyl_SessionWriteImage(s, -1, g_bytes, 2); },
                 ZYL_ERR_OUTSIDE_BUFFER, "do not lie inside"},
        TRefusal{"PageAboveTheDevice",
                 [](ZylSession* s) { return Zyl_SessionSetPageSize(s, 32); }, ZYL_ERR_FILE,
                 "larger than the write page of the 24C16 (16 bytes)"},
        TRefusal{"Organisation",
                 [](ZylSession* s) { return Zyl_SessionSetOrganisation(s, 12); }, ZYL_ERR_FILE,
                 "8 or 16"},
        TRefusal{"WindowOutOfRange",
                 [](ZylSession* s) { return Zyl_SessionSetSerialWindow(s, 4097); }, ZYL_ERR_FILE,
                 "a window of 4097 bytes is not valid"},
        TRefusal{"WindowFromTheEnvironment",
                 [](ZylSession* s) {
                   const testing_support::ScopedEnv window("ZYLISP_SERIAL_WINDOW", "lots");
                   int32_t bytes = 0;
                   return Zyl_SessionGetSerialWindow(s, &bytes);
                 },
                 ZYL_ERR_PORT, "ZYLISP_SERIAL_WINDOW=lots is not a window"},
        TRefusal{"MissingFile",
                 [](ZylSession* s) { return Zyl_SessionLoadFile(s, "/nonexistent/x.hex"); },
                 ZYL_ERR_FILE, "x.hex"}),
    [](const auto& info) { return std::string(info.param.name); });

// One scan gives every port with its path and kind; a short list still
// counts them all.
TEST(PortList, NamesPathsAndKindsInOneScan) {
  const testing_support::ScopedEnv serial("ZYLISP_SERIAL_PORTS", "/dev/zyl-a:/dev/zyl-b");
  const testing_support::ScopedEnv sim("ZYLISP_LPT_SIM", "device=24C16");
  ZylPortInfo ports[4];
  int32_t count = 0;
  ASSERT_EQ(Zyl_ListPorts(0, ports, 4, &count), 0);
  ASSERT_EQ(count, 3);
  EXPECT_STREQ(ports[1].name, "COM2");
  EXPECT_STREQ(ports[1].path, "/dev/zyl-b");
  EXPECT_EQ(ports[1].kind, ZYL_MODE_SERIAL);
  EXPECT_STREQ(ports[2].name, "LPT1");
  EXPECT_EQ(ports[2].kind, ZYL_MODE_PARALLEL);
  ASSERT_EQ(Zyl_ListPorts(ZYL_MODE_SERIAL, ports, 1, &count), 0);
  EXPECT_EQ(count, 2);
}

// A blank check reads the chip without touching the image, and lists the
// bytes that are not FF as a verify lists the ones that differ.
TEST(SessionChecks, BlankCheckAndVerifyListTheirDifferences) {
  const testing_support::ScopedEnv sim("ZYLISP_LPT_SIM", "device=24C16");
  EXPECT_EQ(Zyl_SessionBlankCheck(nullptr), ZYL_ERR_FILE);
  TClient client("24C16");
  ASSERT_EQ(Zyl_SessionErase(client.s), 0);
  EXPECT_EQ(Zyl_SessionBlankCheck(client.s), 0);
  const std::vector<uint8_t> data = {0x12, 0x34, 0xFF, 0x56};
  ASSERT_EQ(Zyl_SessionWriteImage(client.s, 100, data.data(), 4), 0);
  ASSERT_EQ(Zyl_SessionProgram(client.s), 0);
  const std::vector<uint8_t> image = client.Image();
  EXPECT_EQ(Zyl_SessionBlankCheck(client.s), ZYL_ERR_VERIFY);
  EXPECT_EQ(client.Image(), image);
  ZylDifference found[4];
  int32_t count = 0;
  ASSERT_EQ(Zyl_SessionGetDifferences(client.s, found, 4, &count), 0);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(found[2].address, 103);
  EXPECT_EQ(found[2].chip, 0x56);
  EXPECT_EQ(found[2].image, 0xFF);
  const uint8_t changed = 0x99;
  Zyl_SessionWriteImage(client.s, 101, &changed, 1);
  EXPECT_EQ(Zyl_SessionVerify(client.s), ZYL_ERR_VERIFY);
  ASSERT_EQ(Zyl_SessionGetDifferences(client.s, found, 4, &count), 0);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(found[0].address, 101);
  EXPECT_EQ(found[0].chip, 0x34);
  EXPECT_EQ(found[0].image, 0x99);
}

}  // namespace
