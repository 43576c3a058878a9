// A session: everything the exports select, set and hold for one client.
// The classic exports work on the process's default session; the session
// exports bind the client's session to the calling thread for the length
// of the call, so the calls below them reach it through CurrentSession().
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "api/lpt_backend_choice.h"
#include "api/port_list.h"
#include "zylisp.h"

namespace zylisp {

struct TDevice;
class THexList;
class TISPProgrammer;
class TLptAccess;

constexpr int kPortNameSlots = 127;

// Code 1 also answers a value out of range (a mode, a page size).
constexpr int32_t kInvalidValue = ZYL_ERR_FILE;

struct TSession {
  TSession();
  ~TSession();
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;

  // The default session keeps the classic rules (settings that each open
  // starts afresh, the process's simulated adapter).
  bool IsDefault = false;

  int32_t Mode = 0;  // 0 none, 1 serial, 2 parallel, 3 accepted without a kind
  const TDevice* Device = nullptr;
  std::unique_ptr<TISPProgrammer> Programmer;
  std::unique_ptr<THexList> Buffer;
  int32_t Port = 0;  // 1-based, 0 = none
  // The port chosen by name: its device path as the scan found it (empty
  // when it has none, or when only a number was chosen).
  std::string PortPath;
  int32_t LastResult = 0;
  ZylProgressHandler ProgressHandler = nullptr;
  ZylSessionProgressHandler SessionHandler = nullptr;
  void* ProgressUser = nullptr;
  // The stage of the running operation, and its last (done, total) report
  // (done -1 when none came yet).
  int32_t Stage = 0;
  int32_t LastDone = -1;
  int32_t LastTotal = 0;
  bool KeepOpen = false;
  uint8_t ProgMode = 0;
  uint8_t ResetPolarity = 0;
  // Zyl_SetIgnoreChecksums: record checksums of loaded files not compared.
  bool IgnoreChecksums = false;
  // Settings of a session other than the default one, kept across opens:
  // page size (0: the device's), bus address, write time (0: stored or
  // the device's), clock speed (-1: the stored one).
  int32_t PageSize = 0;
  uint8_t BusAddress = 0xA0;
  uint8_t WriteTime = 0;
  int32_t Speed = -1;
  // Bytes the serial link sends ahead (-1: ZYLISP_SERIAL_WINDOW, else the
  // default). Every session, the default one included, takes it.
  int32_t SerialWindow = -1;
  // Names found by the port enumerations, with their paths: slot k is port
  // k+1. A later enumeration leaves the slots it does not write as they were.
  std::array<TPortInfo, kPortNameSlots> Ports;
  int32_t PortCount = 0;
  // Write times given with Zyl_PROG_EE_Time, per catalogue row; they stay
  // for the life of the session, through any reselection.
  std::map<const TDevice*, uint8_t> WriteTimes;
  // What the failure recorded with DetailCode was about (file and line,
  // path and reason); shown only while LastResult is that code.
  int32_t DetailCode = 0;
  std::string ErrorDetail;
  // Texts handed out by the version exports.
  std::string FirmwareText;
  std::string DateText;
  // The parallel-port access object while a connection or enumeration needs it.
  std::unique_ptr<TLptAccess> Lpt;
  // The emulated adapter of a session other than the default one.
  TOwnAdapter OwnAdapter;
  // Where this session's simulated LPT finds its adapter: the process's
  // one (nullptr) for the default session, its own for any other.
  TOwnAdapter* SimulatedAdapterSlot() { return IsDefault ? nullptr : &OwnAdapter; }
  // This session's stop request, and the process's stop count when its
  // running operation began.
  std::atomic<bool> StopAsked{false};
  uint32_t StopEpoch = 0;

  // A stop asked of this session or of the whole process since its
  // operation began.
  bool StopRequested() const;
  // Passes progress to the client's handler.
  void Forward(int32_t done, int32_t total);
};

// The session the calling thread works on: the bound one, or the default.
TSession& CurrentSession();
TSession& DefaultSession();

// Binds a session to the calling thread while it lives.
class TSessionScope {
 public:
  explicit TSessionScope(TSession& session);
  ~TSessionScope();
  TSessionScope(const TSessionScope&) = delete;
  TSessionScope& operator=(const TSessionScope&) = delete;

 private:
  TSession* previous_;
};

// Device, mode and port are all set.
bool IsReady();

// Makes code the last result and returns it: every export records here.
int32_t Record(int32_t code);

// The write time of a catalogue row, as Zyl_PROG_EE_Time may have set it.
uint8_t DeviceWriteTime(const TDevice& device);
// The Microwire organisation a connection uses: the selected part's when it
// has only one (8 or 16), else the session's; 0 when neither is set.
uint8_t FixedOrganisation(const TDevice* device);
uint8_t ConnectionOrganisation(const TSession& s);

// Text of a result code; empty outside 0..19.
const char* ResultText(int32_t code);

// Records what the failure with that code was about; the export that
// fails records the code itself.
void SetErrorDetail(int32_t code, std::string detail);
// The detail of LastResult, "" when it has none.
const char* ErrorDetail();

// Clears the selection and the image (library load and unload, tests).
void ResetSession();

// Programmer kind names of the two modes.
constexpr const char* kKindSerial = "Zyl ISP (COM)";
constexpr const char* kKindParallel = "Zyl ISP (LPT)";

}  // namespace zylisp
