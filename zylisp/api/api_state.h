// The library's single process-wide state behind the exports.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "zylisp.h"

namespace zylisp {

struct TDevice;
class THexList;
class TISPProgrammer;
class TLptAccess;

constexpr int kPortNameSlots = 127;

// Code 1 also answers a value out of range (a mode, a page size).
constexpr int32_t kInvalidValue = ZYL_ERR_FILE;

struct TApiState {
  TApiState();
  ~TApiState();

  int32_t Mode = 0;  // 0 none, 1 serial, 2 parallel, 3 accepted without a kind
  const TDevice* Device = nullptr;
  std::unique_ptr<TISPProgrammer> Programmer;
  std::unique_ptr<THexList> Buffer;
  int32_t Port = 0;  // 1-based, 0 = none
  int32_t LastResult = 0;
  ZylProgressHandler ProgressHandler = nullptr;
  bool KeepOpen = false;
  uint8_t ProgMode = 0;
  uint8_t ResetPolarity = 0;
  // Zyl_SetIgnoreChecksums: record checksums of loaded files not compared.
  bool IgnoreChecksums = false;
  // Names found by the port enumerations: slot k names port k+1. A later
  // enumeration leaves the slots it does not write as they were.
  std::array<std::string, kPortNameSlots> PortNames;
  int32_t PortCount = 0;
  // Write times given with Zyl_PROG_EE_Time, per catalogue row; they stay
  // for the life of the library, through any reselection.
  std::map<const TDevice*, uint8_t> WriteTimes;
  // What the failure recorded with DetailCode was about (file and line,
  // path and reason); shown only while LastResult is that code.
  int32_t DetailCode = 0;
  std::string ErrorDetail;
  // The parallel-port access object while a connection or enumeration needs it.
  std::unique_ptr<TLptAccess> Lpt;
};

TApiState& ApiState();

// Device, mode and port are all set.
bool IsReady();

// Makes code the last result and returns it: every export records here.
int32_t Record(int32_t code);

// The write time of a catalogue row, as Zyl_PROG_EE_Time may have set it.
uint8_t DeviceWriteTime(const TDevice& device);

// Text of a result code; empty outside 0..19.
const char* ResultText(int32_t code);

// Records what the failure with that code was about; the export that
// fails records the code itself.
void SetErrorDetail(int32_t code, std::string detail);
// The detail of LastResult, "" when it has none.
const char* ErrorDetail();

// Clears the selection and the image (library load and unload, tests).
void ResetApiState();

// Programmer kind names of the two modes.
constexpr const char* kKindSerial = "Zyl ISP (COM)";
constexpr const char* kKindParallel = "Zyl ISP (LPT)";

}  // namespace zylisp
