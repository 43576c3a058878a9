#include "devices/hardware_registry.h"

#include <cctype>
#include <vector>

#include "core/errors.h"
#include "drivers/isp_programmer.h"

namespace zylisp {

namespace {

std::vector<THardware>& Kinds() {
  static std::vector<THardware> kinds;
  return kinds;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

void RegisterHardware(const std::string& name, uint8_t families, THardwareFactory factory,
                      uint8_t flag) {
  THardware kind;
  kind.Flag = flag;
  kind.Name = Upper(name);
  kind.Families = families;
  kind.Factory = factory;
  Kinds().push_back(kind);
}

int FindHardware(const std::string& name) {
  const std::string wanted = Upper(name);
  int found = -1;
  for (std::size_t i = 0; i < Kinds().size(); ++i) {
    if (Kinds()[i].Name == wanted) found = static_cast<int>(i);
  }
  return found;
}

int HardwareCount() { return static_cast<int>(Kinds().size()); }

const THardware& HardwareKind(int index) { return Kinds().at(static_cast<std::size_t>(index)); }

std::unique_ptr<TISPProgrammer> CreateHardware(const std::string& name) {
  const int index = FindHardware(name);
  if (index < 0 || index >= HardwareCount() || !Kinds()[static_cast<std::size_t>(index)].Factory)
    throw EISPException("Internal error: Invalid Hardware Select");
  const THardware& kind = Kinds()[static_cast<std::size_t>(index)];
  std::unique_ptr<TISPProgrammer> driver = kind.Factory();
  if (!driver) throw EISPException("Internal error: Invalid Hardware Select");
  driver->SetName(kind.Name);
  return driver;
}

void ClearHardwareRegistry() { Kinds().clear(); }

}  // namespace zylisp
