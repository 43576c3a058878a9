#include "devices/device_list.h"

#include <deque>
#include <mutex>
#include <stdexcept>

#include "core/text_case.h"
#include "devices/part_table.h"

namespace zylisp {

namespace {

uint8_t BusOfFamily(EPartFamily family) {
  switch (family) {
    case EPartFamily::I2CEeprom: return kBusI2C;
    case EPartFamily::SpiEeprom:
    case EPartFamily::SpiFlash: return kBusSPI;
    case EPartFamily::Microwire: return kBusMicrowire;
    case EPartFamily::DataFlash: return kBusDataFlash;
  }
  return kBusI2C;
}

// The device a row of the part table describes (rows after the classic
// catalogue's).
TDevice DeviceOfRow(const TPartRow& row) {
  TDevice d;
  d.Name = row.Name;
  d.BusType = BusOfFamily(row.Family);
  d.Size = row.Size;
  d.PageSize = row.PageSize;
  // The adapter's write-cycle time is whole milliseconds: the datasheet's
  // maximum, rounded up.
  const uint32_t ms = (row.WriteMaxUs + 999) / 1000;
  d.WriteTime = static_cast<uint8_t>(ms < 1 ? 1 : ms > 255 ? 255 : ms);
  if (row.Family == EPartFamily::Microwire) {
    // Start bit and opcode, then the address of the 8-bit organisation (a
    // part with 16-bit words only has one address bit fewer).
    d.MicrowireBits = static_cast<uint8_t>(
        3 + (row.AddressBits8 != 0 ? row.AddressBits8 : row.AddressBits16 + 1));
  }
  if (row.Family == EPartFamily::DataFlash) {
    // Blocks of eight pages; a block is sent as its first page's address
    // without the low byte, and a page's address begins above the bits that
    // address a byte in it.
    int pageBits = 0;
    while ((1 << pageBits) < row.PageSize) ++pageBits;
    for (const TEraseKind& kind : row.Erase) {
      if (kind.Size != static_cast<uint32_t>(row.PageSize) * 8) continue;
      d.EraseBlocks = static_cast<int32_t>(kind.Count);
      d.BlockStep = (8 << pageBits) >> 8;
    }
  }
  d.Part = &row;
  return d;
}

// The classic catalogue with its rows, then a device for every further row.
struct TDeviceTables {
  std::vector<TDevice> Classic;
  std::vector<TDevice> Further;
  std::vector<const TDevice*> All;
};

const TDeviceTables& Tables() {
  static const TDeviceTables tables = [] {
    TDeviceTables t;
    t.Classic = ClassicCatalogueRows();
    const std::vector<TPartRow>& rows = PartRows();
    if (rows.size() < t.Classic.size()) throw std::logic_error("part table misses classic parts");
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (i < t.Classic.size()) {
        if (rows[i].Name != t.Classic[i].Name) throw std::logic_error("part table out of order");
        t.Classic[i].Part = &rows[i];
      } else {
        t.Further.push_back(DeviceOfRow(rows[i]));
      }
    }
    for (const TDevice& d : t.Classic) t.All.push_back(&d);
    for (const TDevice& d : t.Further) t.All.push_back(&d);
    return t;
  }();
  return tables;
}

// Parts kept by KeepDetectedPart: rows and devices never move or go.
struct TDetectedParts {
  std::mutex Lock;
  std::deque<TPartRow> Rows;
  std::deque<TDevice> Devices;
};

TDetectedParts& Detected() {
  static TDetectedParts parts;
  return parts;
}

const TDevice* FindDetected(const std::string& name) {
  TDetectedParts& d = Detected();
  const std::lock_guard<std::mutex> hold(d.Lock);
  const std::string wanted = UpperCase(name);
  for (const TDevice& device : d.Devices)
    if (UpperCase(device.Name) == wanted) return &device;
  return nullptr;
}

}  // namespace

const TDevice& KeepDetectedPart(const TPartRow& row) {
  if (const TDevice* known = FindDetected(row.Name)) return *known;
  TDetectedParts& d = Detected();
  const std::lock_guard<std::mutex> hold(d.Lock);
  d.Rows.push_back(row);
  d.Devices.push_back(DeviceOfRow(d.Rows.back()));
  return d.Devices.back();
}

const std::vector<TDevice>& DeviceCatalogue() { return Tables().Classic; }

const std::vector<const TDevice*>& AllDevices() { return Tables().All; }

const TDevice* FindDevice(const std::string& name) {
  const TPartRow* row = FindPart(name);
  if (!row) return FindDetected(name);
  const std::size_t index = static_cast<std::size_t>(row - PartRows().data());
  return AllDevices()[index];
}

std::vector<std::string> DeviceNames(uint8_t busType) {
  std::vector<std::string> names;
  for (const TDevice& d : DeviceCatalogue()) {
    if (d.BusType == busType) names.push_back(d.Name);
  }
  return names;
}

}  // namespace zylisp
