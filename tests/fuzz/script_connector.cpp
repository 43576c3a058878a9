#include "fuzz/script_connector.h"

namespace fuzz {

namespace {

constexpr uint32_t kRun = uint32_t{1} << 1;
constexpr uint32_t kReady = uint32_t{1} << 10;
constexpr uint32_t kDataIn = uint32_t{1} << 11;
constexpr uint32_t kClock = uint32_t{1} << 14;

}  // namespace

void TScriptConnector::HostPins(uint32_t levels) {
  const uint32_t old = host_;
  host_ = levels;
  const bool run = (levels & kRun) != 0;
  if (run != ((old & kRun) != 0)) {
    running_ = run;
    bitPhase_ = false;
    bit_ = 0;
    script_.Reset();
    return;
  }
  if (!running_) return;
  const bool clock = (levels & kClock) != 0;
  if (clock && (old & kClock) == 0) ClockRise();
  if (!clock && (old & kClock) != 0 && bitPhase_) {
    bitPhase_ = false;
    if (bit_ == 8) bit_ = 0;
  }
}

void TScriptConnector::ClockRise() {
  if (bit_ == 0) {
    sending_ = script_.HasReply();
    shift_ = sending_ ? script_.PeekReply() : script_.TakeHostByte();
  }
  dataIn_ = ((shift_ >> (7 - bit_)) & 1) != 0;
  bitPhase_ = true;
  if (++bit_ == 8 && sending_) script_.TakeReply();
}

uint32_t TScriptConnector::DevicePins() {
  if (!running_) return kReady | kDataIn;
  if (bitPhase_) return dataIn_ ? kDataIn : 0;
  const bool idle = bit_ == 0;
  const bool dataIn = idle ? !script_.HasReply() : dataIn_;
  return kReady | (dataIn ? kDataIn : 0);
}

}  // namespace fuzz
