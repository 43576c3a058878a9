// How the serial link fails: every way an adapter on a serial port can
// misbehave reaches the client as the right code and message, within the
// link's time limits; a port held by another program is refused at once; a
// stop request ends an operation at a page boundary with the port usable.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "core/errors.h"
#include "drivers/isp_programmer.h"
#include "e2e/sim_fixture.h"
#include "ports/serial_port.h"

namespace {

using Clock = std::chrono::steady_clock;

class SerialLink : public SimulatedAdapterTest {
 protected:
  // The message of the failure that op raises on the held connection's
  // driver ("" when it raises none).
  template <typename Op>
  std::string FailureOf(Op op) {
    try {
      op(*zylisp::CurrentSession().Programmer);
    } catch (const zylisp::EZylError& e) {
      return e.Message();
    }
    return "";
  }
};

TEST_F(SerialLink, FailuresReachTheClientWithinTheirLimits) {
  enum Step { kOpen, kProgram, kRead };
  struct Case {
    const char* config;
    Step failsAt;
    int32_t code;
    const char* message;
  };
  const char* const notDetected = "Programmer was not detected";
  const char* const commsFailed = "Communications with ISP failed during this operation";
  const char* const update = "Your ISP needs a firmware update";
  const Case cases[] = {
      {"fault=silent", kOpen, 3, notDetected},
      {"fault=cut:5", kOpen, 3, notDetected},  // identity cut off
      {"identity=EEPROMISX", kOpen, 12, update},
      {"firmware=000B", kOpen, 12, update},
      // Faults on the first page writes: the export's program meets the
      // first (the writes it had sent ahead are drained), the driver's own
      // program a later one, for the message.
      {"fault=error:W:1:T+error:W:2:T+error:W:3:T+error:W:4:T", kProgram, 3,
       "Program/erase BUSY timed out"},
      {"fault=ack:W:1:A+ack:W:2:A+ack:W:3:A+ack:W:4:A", kProgram, 3, commsFailed},
      {"fault=cut:27", kRead, 3, commsFailed},  // a block cut off half-way
      {"fault=error:*:1:x", kRead, 0, ""},      // '?' and a code at sync are fine
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config);
    UseChip("24C02", c.config, Transport::Serial);
    Connect("24C02");
    const auto start = Clock::now();
    int32_t result = Zyl_PROG_Open();
    std::string message;
    if (c.failsAt == kOpen) {
      message = FailureOf([](zylisp::TISPProgrammer& p) {
        p.Close();
        p.Open();
      });
    } else {
      ASSERT_EQ(result, 0) << Zyl_GetLastError();
      result = c.failsAt == kProgram ? Zyl_ProgramEEPROM(nullptr) : Zyl_ReadEEPROM(nullptr, 0);
      if (result != 0) {
        message = FailureOf([c](zylisp::TISPProgrammer& p) {
          zylisp::THexList& image = *zylisp::CurrentSession().Buffer;
          c.failsAt == kProgram ? p.Program(image) : p.Read(image);
        });
      }
    }
    // Each wait gives up after at most 2 s; an open adds 1 s of reset.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(result, c.code);
    // A failure that lost bytes could also cause says so after its cause.
    EXPECT_EQ(message.substr(0, std::strlen(c.message)), c.message);
    EXPECT_EQ(Zyl_PROG_Close(), 0);
  }
}

TEST_F(SerialLink, PortHeldByAnotherProgramIsRefusedAtOnce) {
  UseChip("24C02", "", Transport::Serial);
  Connect("24C02");
  zylisp::TSerialPort other;
  other.Open("COM1", 115200);
  const auto start = Clock::now();
  EXPECT_EQ(Zyl_TestComms(), 17);
  EXPECT_STREQ(Zyl_GetLastError(), "Port in use or not available");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  other.Close();
  EXPECT_EQ(Zyl_TestComms(), 0) << Zyl_GetLastError();
}

std::atomic<int32_t> g_done{0};
void ZYL_CALL NoteProgress(int32_t done, int32_t) {
  if (done >= 0) g_done = done;
}

TEST_F(SerialLink, StopRequestEndsAPacedProgramAtAPageBoundary) {
  UseChip("24C1024", "pace=1", Transport::Serial);
  Connect("24C1024");
  const std::vector<uint8_t> image = RandomImage(131072, 7);
  testing_support::WriteBytes(File("in.bin"), image);
  ASSERT_EQ(Zyl_PROG_Open(), 0) << Zyl_GetLastError();
  g_done = 0;
  Zyl_SetProgressHandler(NoteProgress);
  std::atomic<int32_t> doneAtStop{-1};
  Clock::time_point stopAt;
  // Asks for the stop from another thread once about two seconds of pages
  // went out, as a window's Cancel button does.
  std::thread canceller([&] {
    const auto start = Clock::now();
    while (g_done < 4096 || Clock::now() - start < std::chrono::seconds(2)) {
      if (Clock::now() - start > std::chrono::seconds(60)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    stopAt = Clock::now();
    doneAtStop = g_done.load();
    Zyl_RequestStop();
  });
  const int32_t result = Zyl_ProgramEEPROM(File("in.bin").c_str());
  const auto returned = Clock::now();
  canceller.join();
  Zyl_SetProgressHandler(nullptr);
  ASSERT_EQ(result, ZYL_ERR_CANCELLED);
  EXPECT_STREQ(Zyl_GetLastError(), "Operation cancelled");
  // At most the page under way when the request came was finished.
  const int32_t page = 128;
  const int32_t written = g_done + page;
  EXPECT_LE(g_done.load(), doneAtStop + page);
  EXPECT_LT(written, 131072);
  std::printf("stop answered after %lld ms\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         returned - stopAt)
                                         .count()));
  EXPECT_LT(returned - stopAt, std::chrono::seconds(5));

  // The port is usable at once, and the chip holds every page written.
  ASSERT_EQ(Zyl_ReadEEPROM(nullptr, 0), 0) << Zyl_GetLastError();
  std::vector<uint8_t> expected(131072, 0xFF);
  std::copy(image.begin(), image.begin() + written, expected.begin());
  std::vector<uint8_t> chip(131072);
  for (int32_t a = 0; a < 131072; ++a) chip[a] = Zyl_ANSI_ReadBuffer(ZYL_AREA_EEPROM, a);
  EXPECT_EQ(chip, expected);
  EXPECT_EQ(Zyl_PROG_Close(), 0);
}

}  // namespace
