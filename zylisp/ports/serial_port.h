// One serial communications device: open by name, line settings, byte
// transfers with time-outs, queue counts, modem lines.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "ports/serial_error.h"
#include "ports/serial_settings.h"

namespace zylisp {

// A port starts closed with the initial settings below. Settings may change
// in both states: while open each change reaches the device at once (a change
// the device refuses raises ESerialError and keeps the old value), while
// closed at the next OpenPort. Every operation runs on the caller's thread;
// waits sleep in poll() and never spin.
//
// The operations a driver uses are virtual, so that a test can put a port of
// its own in place of the device. The destructor closes with this class's
// ClosePort.
class TCustomSerialPort {
 public:
  TCustomSerialPort() = default;
  virtual ~TCustomSerialPort();
  TCustomSerialPort(const TCustomSerialPort&) = delete;
  TCustomSerialPort& operator=(const TCustomSerialPort&) = delete;

  // "COMk" (the k-th device of the port list) or a device path starting
  // with '/'. May change only while closed.
  const std::string& DeviceName() const { return deviceName_; }
  virtual void SetDeviceName(const std::string& name);

  TBaudRate BaudRate() const { return baudRate_; }
  virtual void SetBaudRate(TBaudRate rate);
  // Setting it selects brCustom.
  int32_t CustomBaudRate() const { return customBaudRate_; }
  void SetCustomBaudRate(int32_t rate);
  TDataBits DataBits() const { return dataBits_; }
  virtual void SetDataBits(TDataBits bits);
  TParity Parity() const { return parity_; }
  virtual void SetParity(TParity parity);
  TStopBits StopBits() const { return stopBits_; }
  void SetStopBits(TStopBits bits);
  TOptions Options() const { return options_; }
  void SetOptions(TOptions options);
  const TFlowControl& FlowControl() const { return flowControl_; }
  void SetFlowControl(const TFlowControl& flow);
  const TCharacters& Characters() const { return characters_; }
  void SetCharacters(const TCharacters& characters);
  const TBufferSizes& BufferSizes() const { return bufferSizes_; }
  void SetBufferSizes(const TBufferSizes& sizes) { bufferSizes_ = sizes; }
  // Used by each transfer from its start.
  const TTimeouts& Timeouts() const { return timeouts_; }
  void SetTimeouts(const TTimeouts& timeouts) { timeouts_ = timeouts; }

  bool Active() const { return fd_ >= 0; }

  // Opens DeviceName exclusively (another holder gives an "in use" error),
  // in raw mode, discards both queues and applies the settings. Does nothing
  // when open already. On failure nothing stays held.
  virtual void OpenPort();
  // Releases everything OpenPort acquired; does nothing when closed.
  virtual void ClosePort();

  // Bytes received and waiting to be read.
  int32_t InputCount();
  // Bytes written but not yet sent, including those of an unfinished write.
  int32_t OutputCount();

  // Each first completes the previous transfer of its direction (which
  // fails with "Timeout" when it moved fewer bytes than asked within its
  // limits), then starts a transfer of count bytes. With wait it is
  // completed before returning; without, it goes on while other calls are
  // made. The buffer of a read that is still going on must stay valid until
  // the next ReadData or ClosePort; a write's bytes are copied.
  void ReadData(void* buffer, int32_t count, bool wait);
  virtual void WriteData(const void* buffer, int32_t count, bool wait);

  uint8_t ReadByte();
  // Neither waits for the bytes to be sent.
  void WriteByte(uint8_t value);
  virtual void WriteText(const std::string& text);

  // Skipped silently on a device without modem lines (a pseudo-terminal).
  virtual void RaiseDTR();
  virtual void LowerDTR();
  virtual void RaiseRTS();
  virtual void LowerRTS();

  // Returns once everything written has left the device; nothing when closed.
  void FlushOutput();

  // Bounded waits that sleep in poll(), for drivers that keep their own time
  // limits. Each pushes an unfinished write on while it waits.
  // True as soon as input is waiting; false when limit passes first.
  virtual bool WaitForInput(std::chrono::milliseconds limit);
  // True once OutputCount is 0; false when limit passes first.
  virtual bool WaitForOutputSent(std::chrono::milliseconds limit);
  // Drops everything received and not yet read.
  virtual void PurgeInput();
  // Takes up to max bytes that have arrived, without waiting; the number
  // taken. A read transfer still going on is completed first.
  virtual int32_t ReadAvailable(void* buffer, int32_t max);

 private:
  using Clock = std::chrono::steady_clock;

  struct TReadTransfer {
    bool Active = false;
    uint8_t* Target = nullptr;
    std::size_t Count = 0;
    std::size_t Done = 0;
    bool Limited = false;  // Deadline applies
    Clock::time_point Deadline;
    std::chrono::milliseconds Interval{0};  // 0: none
    Clock::time_point LastByte;
    bool StopAtFirstData = false;
  };
  struct TWriteTransfer {
    bool Active = false;
    std::vector<uint8_t> Data;
    std::size_t Done = 0;
    bool Limited = false;
    Clock::time_point Deadline;
  };

  void RequireOpen() const;
  template <typename T>
  void Change(T& field, const T& value);
  void ApplyLineSettings();
  void SetModemLine(int line, bool on);
  // Asks the device driver to hand each byte over at once instead of
  // batching (USB serial adapters); devices without the setting ignore it.
  void RequestLowLatency();
  void RestoreLatency();
  void Release();

  void StartRead(uint8_t* target, std::size_t count);
  // Takes what has arrived without waiting; true when the transfer is done.
  bool ReadAvailable();
  void CompleteRead();
  void StartWrite(const uint8_t* data, std::size_t count);
  // Hands the kernel what it takes without waiting; true when all is sent.
  bool WriteAvailable();
  void CompleteWrite();
  // Sleeps until fd is ready for events or the time left has passed.
  void WaitFor(short events, bool limited, Clock::time_point deadline);

  std::string deviceName_ = "COM1";
  TBaudRate baudRate_ = brDefault;
  int32_t customBaudRate_ = 0;
  TDataBits dataBits_ = dbDefault;
  TParity parity_ = paDefault;
  TStopBits stopBits_ = sbDefault;
  TOptions options_;
  TFlowControl flowControl_;
  TCharacters characters_;
  TBufferSizes bufferSizes_;
  TTimeouts timeouts_;

  int fd_ = -1;
  std::string path_;  // the device opened
  bool exclusive_ = false;
  bool lowLatencySet_ = false;  // we switched it on and switch it off again
  TReadTransfer read_;
  TWriteTransfer write_;
};

class TSerialPort : public TCustomSerialPort {};

}  // namespace zylisp
