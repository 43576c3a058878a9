#include "fuzz/driver_session.h"

#include <memory>
#include <string>
#include <vector>

#include "api/api_state.h"
#include "core/errors.h"
#include "core/isp_settings.h"
#include "devices/device.h"
#include "devices/device_list.h"
#include "drivers/isp_programmer.h"
#include "drivers/shared_values.h"
#include "fuzz/fuzz_support.h"
#include "image/hex_list.h"
#include "ports/lpt_access.h"
#include "ports/serial_error.h"
#include "zylsim/sim_io_space.h"

namespace fuzz {

namespace {

using namespace zylisp;

TDevice& DataFlash() {
  static const std::unique_ptr<TDevice> device = [] {
    std::vector<TDeviceOptions> options(1);
    options[0].Families = FamilyIsp;
    options[0].Timings = std::make_unique<TTimings>();
    options[0].Timings->WriteTime = 5;
    return std::make_unique<TDevice>("AT45DB011", kBusDataFlash, FamilyIsp, 8 * 264, 0, 264,
                                     std::move(options));
  }();
  return *device;
}

void Operate(TISPProgrammer& driver, const TSessionHeader& header, THexList& image) {
  switch (header.Operation) {
    case 0: {
      std::string version;
      driver.GetFirmwareVersion(version);
      driver.CheckFirmware();
      break;
    }
    case 1: driver.Program(image); break;
    case 2: driver.Verify(image); break;
    case 3: driver.Read(image); break;
    case 4: driver.EraseAll(); break;
    case 5: driver.ReadStatus(); break;
    case 6: driver.WriteStatus(header.Value); break;
    default:
      driver.Program(image);
      driver.Verify(image);
      break;
  }
}

}  // namespace

TDevice& SessionDevice(uint8_t pick) {
  const std::size_t parts = DeviceNames().size();
  if (pick % (parts + 1) == parts) return DataFlash();
  return *DeviceCatalogue().FindDevice(PickDevice(static_cast<uint8_t>(pick % (parts + 1))),
                                       FamilyIsp);
}

void RunSession(TISPProgrammer& driver, const TSessionHeader& header) {
  TDevice& device = SessionDevice(header.Device);
  const char* kind = header.Serial ? kKindSerial : kKindParallel;
  TISPSettings settings;
  settings.SetValue(kind, "BASEPORT", 1, int64_t{0});
  driver.SetName(kind);
  driver.SetSettings(&settings);
  driver.SetDevice(&device);
  Shared().PageSize = device.PageSize();
  Shared().BusAddress = 0xA0;

  THexList image;
  image.SetSize(device.Size());
  for (int32_t a = 0; a < device.Size(); a += 1 + header.Value % 7)
    image.SetValue(static_cast<uint32_t>(a), static_cast<uint8_t>(a * 31 + header.Value));
  try {
    driver.Open();
    driver.SetResetPolarity(0);
    driver.SetProgMode(header.ProgMode);
    Operate(driver, header, image);
  } catch (const EZylError&) {
  } catch (const ESerialError&) {
  }
  try {
    driver.Close();
  } catch (const EZylError&) {
  } catch (const ESerialError&) {
  }
  driver.SetSettings(nullptr);
  Require(image.Size() == device.Size(), "the image keeps its size");
}

void RunParallelSession(zylisp::TISPProgrammer& driver, zylsim::TConnectorDevice& connector,
                        const TSessionHeader& header) {
  auto space = std::make_unique<zylsim::TSimIoSpace>();
  space->AddPort(0x378, zylsim::TSimPortKind::ecp, &connector);
  zylisp::TLptAccess lpt(std::move(space), "");
  zylisp::Shared().Lpt = &lpt;
  RunSession(driver, header);
  zylisp::Shared().Lpt = nullptr;
}

}  // namespace fuzz
