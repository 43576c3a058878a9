#include "api/chip_operations.h"

#include "api/connection.h"
#include "api/image_files.h"
#include "api/session.h"
#include "core/atomic_file.h"
#include "core/errors.h"
#include "core/stop_request.h"
#include "devices/device.h"
#include "drivers/isp_programmer.h"
#include "image/file_loader.h"
#include "image/hex_list.h"

namespace zylisp {

namespace {

// A write that failed after it began has changed the chip: the detail says
// so, and how far the write got.
void NotePartlyWritten(int32_t code) {
  const TSession& s = CurrentSession();
  const int32_t done = s.LastDone;
  const int32_t total = s.LastTotal;
  if (done <= 0 || total <= 0) return;
  Record(code);
  const std::string before = ErrorDetail();
  std::string note = "the chip is now partly written: about " + std::to_string(done) + " of " +
                     std::to_string(total) + " bytes were written before the " +
                     (code == ZYL_ERR_CANCELLED ? "stop" : "failure");
  SetErrorDetail(code, before.empty() ? note : before + "; " + note);
}

// Read, program and verify hand the programmer the organisation the client
// set last.
TISPProgrammer& ImageProgrammer() {
  TISPProgrammer& programmer = Programmer();
  programmer.Params().ProgMode = ConnectionOrganisation(CurrentSession());
  return programmer;
}

// The checks of the operations on the image: ready, and an image to work on.
// ZYL_OK, or the code to give (5 is not recorded).
int32_t ImageCheck() {
  const TSession& s = CurrentSession();
  if (!IsReadyForProgrammer()) return Record(ZYL_ERR_NOT_READY);
  if (s.Device->Size == 0 || !s.Buffer) return ZYL_ERR_AREA;
  return ZYL_OK;
}

// Program and verify: the image is blanked and the file loaded first; a
// load that fails sends nothing at all to the programmer, and neither does
// a file that loads no data (an all-blank image would erase the chip).
int32_t RunWithImage(const char* fileName, int32_t stage,
                     void (TISPProgrammer::*operation)(THexList&)) {
  if (const int32_t refused = ImageCheck()) return refused;
  if (fileName) {
    // The check records the code and the detail of a file it refuses.
    if (CheckFile(fileName, false, false) != ZYL_OK) return ZYL_ERR_FILE;
    CurrentSession().Buffer->Clear();
    const int32_t loaded = LoadImageFile(ZYL_AREA_EEPROM, fileName);
    if (loaded != ZYL_OK) return Record(loaded);
  }
  return Operate(
      stage,
      [&] {
        (ImageProgrammer().*operation)(*CurrentSession().Buffer);
        return ZYL_OK;
      },
      operation == &TISPProgrammer::Program);
}

}  // namespace

int32_t Operate(int32_t stage, const std::function<int32_t()>& work, bool writesChip) {
  if (!IsReadyForProgrammer()) return Record(ZYL_ERR_NOT_READY);
  TSession& s = CurrentSession();
  // A request made while nothing ran is not meant for this operation.
  s.StopAsked.store(false, std::memory_order_relaxed);
  s.StopEpoch = StopEpoch();
  s.Stage = stage;
  s.LastDone = -1;
  s.LastTotal = 0;
  // Only what this operation finds out is its detail.
  SetErrorDetail(0, {});
  int32_t result = ZYL_OK;
  try {
    WithConnection([&] { result = work(); });
  } catch (...) {
    result = FailureCode(std::current_exception());
  }
  if (result != ZYL_OK && writesChip) NotePartlyWritten(result);
  return Record(result);
}

// A held connection whose open failed before a programmer existed has
// none: the operation then fails like the open did.
TISPProgrammer& Programmer() {
  TSession& s = CurrentSession();
  if (!s.Programmer) throw EISPException("No programmer connection");
  return *s.Programmer;
}

int32_t ProgramImage(const char* fileName) {
  return RunWithImage(fileName, ZYL_STAGE_PROGRAM, &TISPProgrammer::Program);
}

int32_t VerifyImage(const char* fileName) {
  return RunWithImage(fileName, ZYL_STAGE_VERIFY, &TISPProgrammer::Verify);
}

int32_t ReadIntoImage(const char* fileName, uint8_t format) {
  if (const int32_t refused = ImageCheck()) return refused;
  TSession& s = CurrentSession();
  // A file that could not be written is found out before the chip is read.
  if (fileName) {
    const bool known = TFileLoader::KnowsFormat(format);
    std::string problem = known ? TargetFileProblem(fileName) : std::string();
    if (known && problem.empty()) problem = FormatCapacityProblem(format, *s.Device);
    if (!known || !problem.empty()) {
      SetErrorDetail(ZYL_ERR_FILE, std::move(problem));
      return Record(ZYL_ERR_FILE);
    }
  }
  return Operate(ZYL_STAGE_READ, [&] {
    s.Buffer->Clear();
    ImageProgrammer().Read(*s.Buffer);
    return fileName ? SaveImageFile(ZYL_AREA_EEPROM, fileName, format) : ZYL_OK;
  });
}

int32_t BlankCheckChip() {
  if (const int32_t refused = ImageCheck()) return refused;
  TSession& s = CurrentSession();
  return Operate(ZYL_STAGE_BLANK_CHECK, [&] {
    THexList chip;
    chip.SetSize(s.Device->Size);
    ImageProgrammer().Read(chip);
    std::vector<TByteDifference> differences;
    for (int32_t a = 0; a < chip.Size(); ++a) {
      const uint8_t byte = chip.Data()[a];
      if (byte != 0xFF) differences.push_back({static_cast<uint32_t>(a), byte, 0xFF});
    }
    const bool blank = differences.empty();
    s.Buffer->SetDifferences(std::move(differences));
    return blank ? ZYL_OK : ZYL_ERR_VERIFY;
  });
}

int32_t EraseChip() {
  return Operate(
      ZYL_STAGE_ERASE,
      [] {
        Programmer().EraseAll();
        return ZYL_OK;
      },
      true);
}

int32_t WriteStatusValue(uint8_t value) {
  return Operate(
      0,
      [&] {
        Programmer().WriteStatus(value);
        return ZYL_OK;
      },
      true);
}

int32_t ReadStatusByte(uint8_t* status) {
  if (!status) return Record(kInvalidValue);
  uint8_t value = 0;
  const int32_t result = Operate(0, [&] {
    value = Programmer().ReadStatus();
    return ZYL_OK;
  });
  if (result == ZYL_OK) *status = value;
  return result;
}

int32_t SetPageSize(int32_t size) {
  TSession& s = CurrentSession();
  const std::string device = s.Device ? s.Device->Name : std::string();
  std::string problem;
  if (size <= 0)
    problem = "page size " + std::to_string(size) + " is not valid" +
              (s.Device ? " for " + device : std::string());
  else if (s.Device && size > s.Device->PageSize)
    // A longer page wraps inside the chip's own and corrupts it.
    problem = "page size " + std::to_string(size) + " is larger than the write page of the " +
              device + " (" + std::to_string(s.Device->PageSize) + " bytes)";
  if (!problem.empty()) {
    SetErrorDetail(kInvalidValue, problem);
    return Record(kInvalidValue);
  }
  if (s.Programmer) s.Programmer->Params().PageSize = size;
  return Record(ZYL_OK);
}

std::string FirmwareVersion(int32_t* failure) {
  std::string version = "N/A";
  int32_t code = ZYL_ERR_NOT_READY;
  if (KindOfMode(CurrentSession().Mode)) {
    try {
      WithConnection([&] {
        version = Programmer().FirmwareVersion();
        code = ZYL_OK;
      });
    } catch (...) {
      version = "N/A";
      // Only a caller that asks for the cause gets it recorded as a detail.
      code = failure ? FailureCode(std::current_exception()) : ZYL_ERR_HARDWARE;
    }
  }
  if (failure) *failure = code;
  return version;
}

}  // namespace zylisp
