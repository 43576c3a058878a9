#include "devices/device.h"

namespace zylisp {

TDevice::TDevice(std::string name, uint8_t busType, uint8_t families, int32_t size,
                 int32_t variant, int32_t pageSize, std::vector<TDeviceOptions> options)
    : busType_(busType),
      size_(size),
      variant_(variant),
      name_(std::move(name)),
      families_(families),
      pageSize_(pageSize),
      options_(std::move(options)) {
  if (!options_.empty() && options_.front().Timings) writeTime_ = options_.front().Timings->WriteTime;
}

}  // namespace zylisp
