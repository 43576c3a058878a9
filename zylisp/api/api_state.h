// The library's single process-wide state behind the exports.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "zylisp.h"

namespace zylisp {

class TDevice;
class THexList;
class TISPProgrammer;
class TISPSettings;
class TLptAccess;

struct TApiState {
  TApiState();
  ~TApiState();

  int32_t Mode = 0;  // 0 none, 1 serial, 2 parallel, 3 accepted without a kind
  TDevice* Device = nullptr;
  std::unique_ptr<TISPProgrammer> Programmer;
  std::unique_ptr<THexList> Buffer;
  std::unique_ptr<TISPSettings> Settings;
  int32_t Port = 0;  // 1-based, 0 = none
  int32_t LastResult = 0;
  ZylProgressHandler ProgressHandler = nullptr;
  bool KeepOpen = false;
  uint8_t ProgMode = 0;
  uint8_t ResetPolarity = 0;
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
