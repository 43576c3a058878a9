#include "api/connection.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "api/session.h"
#include "api/lpt_backend_choice.h"
#include "core/errors.h"
#include "core/isp_settings.h"
#include "devices/device.h"
#include "drivers/isp_programmer.h"
#include "ports/lpt_access.h"
#include "ports/serial_error.h"

namespace zylisp {

const char* KindOfMode(int32_t mode) {
  switch (mode) {
    case ZYL_MODE_SERIAL: return kKindSerial;
    case ZYL_MODE_PARALLEL: return kKindParallel;
    default: return nullptr;
  }
}

bool IsReadyForProgrammer() { return IsReady() && KindOfMode(CurrentSession().Mode) != nullptr; }

namespace {

TLptAccess& EnsureLpt() {
  TSession& s = CurrentSession();
  if (!s.Lpt) s.Lpt = CreateLptAccess(s.SimulatedAdapterSlot());
  return *s.Lpt;
}

// The parallel adapter knows LPT1 to LPT3; any other port number means
// LPT1.
uint8_t LptSlot(int32_t port) { return static_cast<uint8_t>(port >= 1 && port <= 3 ? port : 1); }

// The device path of the selected serial port: the one it was chosen by,
// else the one the last port list found for its number; empty when there
// is none (the serial link then says so when it connects).
std::string SerialPath(const TSession& s) {
  if (!s.PortPath.empty()) return s.PortPath;
  if (s.Port < 1 || s.Port > kPortNameSlots) return {};
  const TPortInfo& slot = s.Ports[static_cast<std::size_t>(s.Port - 1)];
  return slot.Kind == ZYL_MODE_SERIAL ? slot.Path : std::string();
}

}  // namespace

std::size_t SessionSerialWindow() {
  const TSession& s = CurrentSession();
  if (s.SerialWindow >= 0) return static_cast<std::size_t>(s.SerialWindow);
  const char* text = std::getenv("ZYLISP_SERIAL_WINDOW");
  if (!text || !*text) return kDefaultSerialWindow;
  const std::string value = text;
  std::size_t bytes = 0;
  bool number = value.size() <= 5;
  for (char c : value) {
    number = number && c >= '0' && c <= '9';
    if (number) bytes = bytes * 10 + static_cast<std::size_t>(c - '0');
  }
  if (!number || bytes > kMaxSerialWindow)
    throw EPortConfigError("ZYLISP_SERIAL_WINDOW=" + value +
                           " is not a window: give the bytes to send ahead, from 0 (each "
                           "command waits for its acknowledge) to " +
                           std::to_string(kMaxSerialWindow));
  return bytes;
}

void OpenConnection() {
  TSession& s = CurrentSession();
  Record(ZYL_OK);
  TISPSettings settings;
  settings.LoadStore(kCommandLineKey, false, 1);
  const char* kind = KindOfMode(s.Mode);
  if (!kind) throw EISPException("Internal error: Invalid Hardware Select");
  // The firmware version can be asked for without a device.
  const TDevice* device = s.Device;
  const uint8_t deviceTime = device ? DeviceWriteTime(*device) : 0;
  TConnectionParams params;
  params.Kind = kind;
  params.Device = device;
  params.PageSize = s.PageSize > 0 ? s.PageSize : device ? device->PageSize : 0;
  params.BusAddress = s.BusAddress;
  params.ProgMode = ConnectionOrganisation(s);
  params.ResetPolarity = s.ResetPolarity;
  params.WriteTime =
      static_cast<uint8_t>(settings.GetInteger(kind, "EEPROMtime", deviceTime, 0, 0xFF));
  if (params.WriteTime == 0) params.WriteTime = deviceTime;
  if (s.WriteTime != 0) params.WriteTime = s.WriteTime;
  params.ClockSpeed = static_cast<uint8_t>(
      s.Speed >= 0 ? s.Speed : settings.GetInteger(kind, "Clockspeed", 1, 0, 0xFF));
  if (s.Mode == ZYL_MODE_PARALLEL) {
    params.Lpt = &EnsureLpt();
    params.LptSlot = LptSlot(s.Port);
    // A badly set up emulator fails here, by name, before anything is sent.
    if (device) CheckSimulatedAdapter(device->Name, s.SimulatedAdapterSlot());
  } else {
    params.SerialPort = s.Port;
    params.SerialPath = SerialPath(s);
    params.SerialWindow = SessionSerialWindow();
  }
  s.Programmer = MakeProgrammer(s.Mode, params);
  s.Programmer->Open();
  TSession* session = &s;
  s.Programmer->SetOnProgress(
      [session](int32_t done, int32_t total) { session->Forward(done, total); });
  s.Programmer->SetStopCheck([session] { return session->StopRequested(); });
}

void OpenLink(TISPProgrammer& programmer) {
  programmer.Params().ResetPolarity = CurrentSession().ResetPolarity;
  programmer.Params().ProgMode = ConnectionOrganisation(CurrentSession());
  programmer.Open();
}

void CloseConnection() {
  TSession& s = CurrentSession();
  std::exception_ptr failure;
  if (s.Programmer) {
    try {
      s.Programmer->Close();
    } catch (...) {
      failure = std::current_exception();
    }
    s.Programmer.reset();
  }
  s.Lpt.reset();
  if (failure) std::rethrow_exception(failure);
}

void WithConnection(const std::function<void()>& work) {
  if (CurrentSession().KeepOpen) {
    work();
    return;
  }
  try {
    OpenConnection();
    work();
  } catch (...) {
    try {
      CloseConnection();
    } catch (...) {
      // The first failure is the one to report.
    }
    throw;
  }
  CloseConnection();
}

void EnumeratePorts(int32_t mode) {
  TSession& s = CurrentSession();
  std::vector<TPortInfo> found;
  if (mode == ZYL_MODE_SERIAL) {
    found = ScanSerialPorts();
  } else if (mode == ZYL_MODE_PARALLEL) {
    found = ScanParallelPorts(EnsureLpt());
    // Without a connection nothing needs the object any more; a new one
    // is made for the next connection, for the ports as they are then.
    if (!s.Programmer) s.Lpt.reset();
  } else {
    return;
  }
  // Port k fills slot k.
  s.PortCount = 0;
  for (const TPortInfo& port : found) {
    if (port.Number < 1 || port.Number > kPortNameSlots) continue;
    s.Ports[static_cast<std::size_t>(port.Number - 1)] = port;
    ++s.PortCount;
  }
}

int32_t FailureCode(const std::exception_ptr& failure) {
  // Failures that are not the hardware's say what they were about.
  const auto detailed = [](int32_t code, const EZylError& e) {
    SetErrorDetail(code, e.Message());
    return code;
  };
  try {
    std::rethrow_exception(failure);
  } catch (const EVerifyError&) {
    return ZYL_ERR_VERIFY;
  } catch (const EFirmwareMisMatch&) {
    return ZYL_ERR_FIRMWARE;
  } catch (const ENotSupported&) {
    return ZYL_ERR_NOT_SUPPORTED;
  } catch (const ECancelled&) {
    return ZYL_ERR_CANCELLED;
  } catch (const EWriteProtected& e) {
    return detailed(ZYL_ERR_WRITE_PROTECTED, e);
  } catch (const ESettingsFileError& e) {
    return detailed(ZYL_ERR_FILE, e);
  } catch (const EPortConfigError& e) {
    return detailed(ZYL_ERR_PORT, e);
  } catch (const EDeviceMismatch& e) {
    return detailed(ZYL_ERR_DEVICE_UNKNOWN, e);
  } catch (const EDeviceNotResponding& e) {
    // The adapter works; the chip did not answer, and the detail says why.
    return detailed(ZYL_ERR_NOT_RESPONDING, e);
  } catch (const EISPException& e) {
    // The adapter's or the port's own words for what went wrong.
    return detailed(ZYL_ERR_HARDWARE, e);
  } catch (const ESerialError& e) {
    // Another program holds the port: say so rather than blame the hardware.
    SetErrorDetail(e.ErrorCode() == EBUSY ? ZYL_ERR_PORT_IN_USE : ZYL_ERR_HARDWARE, e.what());
    return e.ErrorCode() == EBUSY ? ZYL_ERR_PORT_IN_USE : ZYL_ERR_HARDWARE;
  } catch (const std::exception& e) {
    SetErrorDetail(ZYL_ERR_HARDWARE, e.what());
    return ZYL_ERR_HARDWARE;
  } catch (...) {
    // Anything else (a port that cannot be opened) means the programmer
    // could not be reached.
    return ZYL_ERR_HARDWARE;
  }
}

}  // namespace zylisp
