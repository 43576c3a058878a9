// Registers the programmer kinds this library offers.
#include "devices/device.h"
#include "devices/hardware_registry.h"

namespace zylisp {

void RegisterProgrammerKinds() {}

}  // namespace zylisp
