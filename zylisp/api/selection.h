// Selecting device, mode and port, as the selection exports and the calls
// that select on the client's behalf do it.
#pragma once

#include <cstdint>

namespace zylisp {

// Forgets the device and its image, then selects the catalogue row of that
// name with a blank image: 0, or 8 when there is no such row (then nothing
// is selected). Recorded.
int32_t SelectDevice(const char* name);
// Forgets the device and its image, recording 8 as for an unknown name.
void ClearDeviceSelection();
// Modes 1 to 3 are taken (0); any other leaves the mode and gives 1.
// Recorded.
int32_t SelectMode(uint8_t mode);
// Recorded.
int32_t SelectPort(uint8_t port);

}  // namespace zylisp
