// Registry of programmer kinds: drivers are created by kind name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace zylisp {

class TISPProgrammer;

using THardwareFactory = std::unique_ptr<TISPProgrammer> (*)();

struct THardware {
  uint8_t Flag = 0;
  std::string Name;  // upper-cased at registration
  uint8_t Families = 0;
  THardwareFactory Factory = nullptr;
};

// Appends a kind; the name is stored upper-cased.
void RegisterHardware(const std::string& name, uint8_t families, THardwareFactory factory,
                      uint8_t flag);

// Index of the last kind of that name (case-insensitive), or -1.
int FindHardware(const std::string& name);

// Number of registered kinds.
int HardwareCount();
const THardware& HardwareKind(int index);

// Creates a driver of the named kind and gives it the kind's stored name.
// Raises EISPException "Internal error: Invalid Hardware Select" for an
// unknown kind.
std::unique_ptr<TISPProgrammer> CreateHardware(const std::string& name);

// Forgets every kind (tests only).
void ClearHardwareRegistry();

}  // namespace zylisp
