// Registers the programmer kinds this library offers.
#include "devices/device.h"
#include "devices/hardware_registry.h"
#include "drivers/smart_parallel.h"

namespace zylisp {

namespace {
std::unique_ptr<TISPProgrammer> MakeParallel() { return std::make_unique<TSmartParallel>(); }
}  // namespace

void RegisterProgrammerKinds() {
  RegisterHardware("Zyl ISP (LPT)", FamilyIsp, MakeParallel, 1);
}

}  // namespace zylisp
