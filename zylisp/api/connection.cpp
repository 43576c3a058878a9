#include "api/connection.h"

#include <cerrno>
#include <string>
#include <vector>

#include "api/api_state.h"
#include "api/lpt_backend_choice.h"
#include "api/progress.h"
#include "core/errors.h"
#include "core/isp_settings.h"
#include "devices/device.h"
#include "devices/hardware_registry.h"
#include "drivers/isp_programmer.h"
#include "drivers/shared_values.h"
#include "ports/lpt_access.h"
#include "ports/serial_enumeration.h"
#include "ports/serial_error.h"

namespace zylisp {

const char* KindOfMode(int32_t mode) {
  switch (mode) {
    case 1: return kKindSerial;
    case 2: return kKindParallel;
    default: return nullptr;
  }
}

bool IsReadyForProgrammer() { return IsReady() && KindOfMode(ApiState().Mode) != nullptr; }

namespace {

void EnsureLpt() {
  TApiState& s = ApiState();
  if (!s.Lpt) {
    s.Lpt = CreateLptAccess();
    Shared().Lpt = s.Lpt.get();
  }
}

void ReleaseLpt() {
  TApiState& s = ApiState();
  Shared().Lpt = nullptr;
  s.Lpt.reset();
}

}  // namespace

void OpenConnection() {
  TApiState& s = ApiState();
  s.LastResult = 0;
  s.Settings = std::make_unique<TISPSettings>();
  s.Settings->LoadStore(kCommandLineKey, false, 1);
  const char* kind = KindOfMode(s.Mode);
  if (!kind) throw EISPException("Internal error: Invalid Hardware Select");
  s.Programmer = CreateHardware(kind);
  s.Programmer->SetSettings(s.Settings.get());
  s.Settings->SetValue(s.Programmer->GetName(), "BASEPORT", 1, static_cast<int64_t>(s.Port - 1));
  if (s.Mode == ZYL_MODE_PARALLEL) {
    EnsureLpt();
    // A badly set up emulator fails here, by name, before anything is sent.
    if (s.Device) CheckSimulatedAdapter(s.Device->Name());
  }
  s.Programmer->SetDevice(s.Device);
  Shared().PageSize = s.Device ? s.Device->PageSize() : 0;
  Shared().BusAddress = 0xA0;
  OpenLink(*s.Programmer);
  s.Programmer->SetOnProgress(&TProgressObj::Forward);
}

void OpenLink(TISPProgrammer& driver) {
  driver.Open();
  driver.SetResetPolarity(ApiState().ResetPolarity);
  driver.SetProgMode(ApiState().ProgMode);
}

void CloseConnection() {
  TApiState& s = ApiState();
  std::exception_ptr failure;
  if (s.Programmer) {
    try {
      s.Programmer->Close();
    } catch (...) {
      failure = std::current_exception();
    }
    s.Programmer->SetDevice(nullptr);
    s.Programmer->SetSettings(nullptr);
    s.Programmer.reset();
  }
  s.Settings.reset();
  ReleaseLpt();
  if (failure) std::rethrow_exception(failure);
}

void WithConnection(const std::function<void()>& work) {
  if (ApiState().KeepOpen) {
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
  TSharedValues& shared = Shared();
  if (mode == 1) {
    std::vector<std::string> names;
    EnumerateSerialPorts(names);
    const std::size_t n = std::min<std::size_t>(names.size(), kPortNameSlots);
    shared.PortCount = static_cast<int32_t>(n);
    for (std::size_t i = 0; i < n; ++i) shared.PortNames[i] = names[i];
  } else if (mode == 2) {
    shared.PortCount = 0;
    EnsureLpt();
    TLptAccess& lpt = *ApiState().Lpt;
    lpt.SelectPort(1);
    lpt.SetActive(1);
    lpt.WriteECR(0);
    const uint8_t count = lpt.PortCount();
    for (uint8_t i = 1; i <= count && i <= kPortNameSlots; ++i) {
      lpt.SelectPort(i);
      if (lpt.PortAvailable()) {
        shared.PortNames[i - 1] = "LPT" + std::to_string(i);
        ++shared.PortCount;
      }
    }
    lpt.SetActive(0);
    // Without a connection nothing needs the object any more; a new one
    // is made for the next connection, for the ports as they are then.
    if (!ApiState().Programmer) ReleaseLpt();
  }
}

int32_t FailureCode(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const ETargetNotFound&) {
    return 9;
  } catch (const EVerifyError&) {
    return 10;
  } catch (const EFirmwareMisMatch&) {
    return 12;
  } catch (const ENotSupported&) {
    return 11;
  } catch (const ECancelled&) {
    return ZYL_ERR_CANCELLED;
  } catch (const EWriteProtected& e) {
    SetErrorDetail(ZYL_ERR_WRITE_PROTECTED, e.Message());
    return ZYL_ERR_WRITE_PROTECTED;
  } catch (const ESettingsFileError& e) {
    SetErrorDetail(ZYL_ERR_FILE, e.Message());
    return ZYL_ERR_FILE;
  } catch (const EPortConfigError& e) {
    SetErrorDetail(ZYL_ERR_PORT, e.Message());
    return ZYL_ERR_PORT;
  } catch (const EDeviceMismatch& e) {
    SetErrorDetail(ZYL_ERR_DEVICE_UNKNOWN, e.Message());
    return ZYL_ERR_DEVICE_UNKNOWN;
  } catch (const EISPException&) {
    return 3;
  } catch (const ESerialError& e) {
    // Another program holds the port: say so rather than blame the hardware.
    return e.ErrorCode() == EBUSY ? 17 : 3;
  } catch (...) {
    // Anything else (a port that cannot be opened) means the programmer
    // could not be reached.
    return 3;
  }
}

}  // namespace zylisp
