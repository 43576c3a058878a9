#include "fuzz/driver_session.h"

#include <memory>
#include <string>

#include "api/session.h"
#include "core/errors.h"
#include "devices/device.h"
#include "devices/device_list.h"
#include "drivers/isp_programmer.h"
#include "fuzz/fuzz_support.h"
#include "image/hex_list.h"
#include "ports/lpt_access.h"
#include "ports/serial_error.h"
#include "zylsim/sim_io_space.h"

namespace fuzz {

namespace {

using namespace zylisp;

const TDevice kDataFlash{"AT45DB011", kBusDataFlash, 8 * 264, 264, 5, 0, 64, 16};

void Operate(TISPProgrammer& programmer, const TSessionHeader& header, THexList& image) {
  switch (header.Operation) {
    case 0: programmer.FirmwareVersion(); break;
    case 1: programmer.Program(image); break;
    case 2: programmer.Verify(image); break;
    case 3: programmer.Read(image); break;
    case 4: programmer.EraseAll(); break;
    case 5: programmer.ReadStatus(); break;
    case 6: programmer.WriteStatus(header.Value); break;
    default:
      programmer.Program(image);
      programmer.Verify(image);
      break;
  }
}

void Run(const TSessionHeader& header, TConnectionParams params, const TLinkMaker& makeLink) {
  const TDevice& device = SessionDevice(header.Device);
  params.Kind = header.Serial ? kKindSerial : kKindParallel;
  params.Device = &device;
  params.SerialPort = 1;
  params.SerialPath = "COM1";
  params.PageSize = device.PageSize;
  params.ProgMode = header.ProgMode;
  params.WriteTime = device.WriteTime;
  TISPProgrammer programmer(params, makeLink(params));

  THexList image;
  image.SetSize(device.Size);
  for (int32_t a = 0; a < device.Size; a += 1 + header.Value % 7)
    image.SetValue(static_cast<uint32_t>(a), static_cast<uint8_t>(a * 31 + header.Value));
  try {
    programmer.Open();
    Operate(programmer, header, image);
  } catch (const EZylError&) {
  } catch (const ESerialError&) {
  }
  try {
    programmer.Close();
  } catch (const EZylError&) {
  } catch (const ESerialError&) {
  }
  Require(image.Size() == device.Size, "the image keeps its size");
}

}  // namespace

const TDevice& SessionDevice(uint8_t pick) {
  const std::size_t parts = DeviceNames().size();
  if (pick % (parts + 1) == parts) return kDataFlash;
  return *FindDevice(PickDevice(static_cast<uint8_t>(pick % (parts + 1))));
}

void RunSession(const TSessionHeader& header, const TLinkMaker& makeLink) {
  Run(header, TConnectionParams{}, makeLink);
}

void RunParallelSession(const TSessionHeader& header, zylsim::TConnectorDevice& connector,
                        const TLinkMaker& makeLink) {
  auto space = std::make_unique<zylsim::TSimIoSpace>();
  space->AddPort(0x378, zylsim::TSimPortKind::ecp, &connector);
  TLptAccess lpt(std::move(space), "");
  TConnectionParams params;
  params.Lpt = &lpt;
  Run(header, params, makeLink);
}

}  // namespace fuzz
