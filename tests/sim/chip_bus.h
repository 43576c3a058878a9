// Host-side bus sequences for driving the chip models in tests.
#pragma once

#include <cstdint>
#include <vector>

#include "zylsim/chip_i2c.h"
#include "zylsim/chip_microwire.h"

namespace chiptest {

using Bytes = std::vector<uint8_t>;

// I2C: start, the bytes, stop; true when every byte was acknowledged.
inline bool I2CWrite(zylsim::I2CEeprom& chip, const Bytes& bytes) {
  chip.Start();
  bool acked = true;
  for (uint8_t b : bytes) {
    if (!chip.WriteByte(b)) {
      acked = false;
      break;
    }
  }
  chip.Stop();
  return acked;
}

// I2C read of count bytes with the given control byte (R/W set by the caller);
// empty when the control byte is not acknowledged.
inline Bytes I2CRead(zylsim::I2CEeprom& chip, uint8_t control, std::size_t count) {
  Bytes out;
  chip.Start();
  if (chip.WriteByte(control)) {
    for (std::size_t i = 0; i < count; ++i) out.push_back(chip.ReadByte(i + 1 < count));
  }
  chip.Stop();
  return out;
}

// I2C random read: dummy write of the address, repeated start, read.
inline Bytes I2CRandomRead(zylsim::I2CEeprom& chip, uint8_t control, const Bytes& address,
                           std::size_t count) {
  chip.Start();
  chip.WriteByte(control);
  for (uint8_t b : address) chip.WriteByte(b);
  chip.Start();
  Bytes out;
  if (chip.WriteByte(static_cast<uint8_t>(control | 1))) {
    for (std::size_t i = 0; i < count; ++i) out.push_back(chip.ReadByte(i + 1 < count));
  }
  chip.Stop();
  return out;
}

// SPI: one CS-low frame; returns what came back for every byte sent.
inline Bytes SpiFrame(zylsim::SpiChip& chip, const Bytes& bytes) {
  chip.Select();
  Bytes in;
  for (uint8_t b : bytes) in.push_back(chip.Transfer(b));
  chip.Deselect();
  return in;
}

// SPI frame of the given header followed by count clocked-in bytes.
inline Bytes SpiRead(zylsim::SpiChip& chip, Bytes header, std::size_t count) {
  const std::size_t skip = header.size();
  header.resize(skip + count, 0x00);
  Bytes in = SpiFrame(chip, header);
  return Bytes(in.begin() + static_cast<std::ptrdiff_t>(skip), in.end());
}

// Microwire: sends the top `bits` bits of word, most significant first.
inline void MwShift(zylsim::MicrowireEeprom& chip, uint32_t word, int bits, int width = 16) {
  for (int i = 0; i < bits; ++i) chip.Clock(((word >> (width - 1 - i)) & 1) != 0);
}

// Microwire: one command (and optional data) between CS high and CS low.
inline void MwCommand(zylsim::MicrowireEeprom& chip, uint16_t word, int bits, int dataBits = 0,
                      uint32_t data = 0) {
  chip.Select();
  MwShift(chip, word, bits);
  MwShift(chip, data, dataBits, dataBits > 0 ? dataBits : 1);
  chip.Deselect();
}

// Microwire read command; returns the dummy bit in *dummy and count items.
inline std::vector<uint32_t> MwRead(zylsim::MicrowireEeprom& chip, uint16_t word, int bits,
                                    int dataBits, std::size_t count, bool* dummy = nullptr) {
  chip.Select();
  MwShift(chip, word, bits);
  if (dummy) *dummy = chip.DataOut();
  std::vector<uint32_t> items;
  for (std::size_t n = 0; n < count; ++n) {
    uint32_t value = 0;
    for (int i = 0; i < dataBits; ++i) value = (value << 1) | (chip.Clock(false) ? 1u : 0u);
    items.push_back(value);
  }
  chip.Deselect();
  return items;
}

}  // namespace chiptest
