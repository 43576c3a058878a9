#include "devices/device_list.h"

#include "core/text_case.h"

namespace zylisp {

int TDeviceList::Add(std::unique_ptr<TDevice> device) {
  items_.push_back(std::move(device));
  return Count() - 1;
}

TDevice* TDeviceList::FindDevice(const std::string& name, uint8_t familyMask) const {
  const std::string wanted = UpperCase(name);
  TDevice* found = nullptr;
  for (const auto& d : items_) {
    if ((d->Families() & familyMask) != 0 && UpperCase(d->Name()) == wanted) found = d.get();
  }
  return found;
}

std::vector<std::string> TDeviceList::DeviceNames(uint8_t familyMask, uint8_t busType) const {
  std::vector<std::string> names;
  for (const auto& d : items_) {
    if ((d->Families() & familyMask) != 0 && d->BusType() == busType) names.push_back(d->Name());
  }
  return names;
}

TDeviceList& DeviceCatalogue() {
  static TDeviceList* catalogue = [] {
    auto* list = new TDeviceList;  // lives for the whole process
    list->BuildCatalogue();
    return list;
  }();
  return *catalogue;
}

}  // namespace zylisp
