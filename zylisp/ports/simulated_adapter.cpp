#include "ports/connector_device.h"

namespace zylisp {

TConnectorDevice* SimulatedAdapter() { return nullptr; }

}  // namespace zylisp
