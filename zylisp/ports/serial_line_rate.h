// Arbitrary line rates through the kernel's termios2 interface, for rates
// that have no B-constant in <termios.h>. Kept in its own unit because the
// kernel's termios header cannot meet the C library's.
#pragma once

#include <cstdint>

namespace zylisp {

// Sets input and output rate of the terminal fd to rate baud. Returns 0, or
// the errno of the failing call.
int SetArbitraryLineRate(int fd, uint32_t rate);

// The output rate of the terminal fd in baud, or 0 when it cannot be read.
uint32_t GetLineRate(int fd);

}  // namespace zylisp
