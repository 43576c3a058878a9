// The abstract programmer driver the API layer works with.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zylisp {

class TDevice;
class THexList;
class TISPSettings;

using TProgressEvent = std::function<void(int32_t done, int32_t total)>;

class TISPProgrammer {
 public:
  TISPProgrammer() = default;
  virtual ~TISPProgrammer() = default;
  TISPProgrammer(const TISPProgrammer&) = delete;
  TISPProgrammer& operator=(const TISPProgrammer&) = delete;

  virtual void SetDevice(TDevice* device) { Device = device; }
  virtual void SetProgMode(uint8_t mode) { ProgMode = mode; }
  virtual void Program(THexList& image) = 0;
  virtual void Verify(THexList& image) = 0;
  virtual void Read(THexList& image) = 0;
  virtual void EraseAll() = 0;
  virtual uint8_t ReadStatus() = 0;
  virtual void WriteStatus(uint8_t value) = 0;
  virtual void SetResetPolarity(uint8_t value) = 0;
  virtual bool Open() = 0;
  virtual void Close() = 0;
  virtual void CheckFirmware() = 0;
  virtual void LoadSettings() = 0;
  virtual void SaveSettings() = 0;
  virtual void GetFirmwareVersion(std::string& version) = 0;

  // Calls OnProgress when one is installed.
  void DoProgress(int32_t done, int32_t total) {
    if (OnProgress) OnProgress(done, total);
  }

  void SetName(const std::string& name) { Name = name; }
  void SetSettings(TISPSettings* settings) { Settings = settings; }
  void SetOnProgress(TProgressEvent handler) { OnProgress = std::move(handler); }

  const std::string& GetName() const { return Name; }
  TDevice* GetDevice() const { return Device; }
  uint8_t GetProgMode() const { return ProgMode; }
  TISPSettings* GetSettings() const { return Settings; }

 protected:
  uint8_t ProgMode = 0;
  TDevice* Device = nullptr;
  TProgressEvent OnProgress;
  std::string Name;
  TISPSettings* Settings = nullptr;
};

}  // namespace zylisp
