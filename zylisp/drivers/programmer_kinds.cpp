// Registers the programmer kinds this library offers.
#include "devices/device.h"
#include "devices/hardware_registry.h"
#include "drivers/smart_parallel.h"
#include "drivers/smart_serial.h"

namespace zylisp {

namespace {
std::unique_ptr<TISPProgrammer> MakeParallel() { return std::make_unique<TSmartParallel>(); }
std::unique_ptr<TISPProgrammer> MakeSerial() { return std::make_unique<TSmartSerial>(); }
}  // namespace

void RegisterProgrammerKinds() {
  RegisterHardware("Zyl ISP (LPT)", FamilyIsp, MakeParallel, 1);
  RegisterHardware("Zyl ISP (COM)", FamilyIsp, MakeSerial, 1);
}

}  // namespace zylisp
