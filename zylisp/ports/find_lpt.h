// Finds the parallel ports the system knows and where their registers are.
#pragma once

#include <cstdint>
#include <string>

namespace zylisp {

inline constexpr char kDefaultParportDir[] = "/proc/sys/dev/parport";

// The base address of slot n's port: the first number of
// parportDir/parport<n-1>/base-addr, which holds the base (eight registers)
// and the ECP base (three; 0 or none: no ECP registers). 0 when there is no
// such file or it is not exactly that, rather than a doubtful base.
uint16_t FindLptBase(const std::string& parportDir, uint8_t slot);

// The parport folder named by ZYLISP_PARPORT_DIR; fallback when unset or empty.
std::string ParportDirFromEnvironment(const std::string& fallback);

}  // namespace zylisp
