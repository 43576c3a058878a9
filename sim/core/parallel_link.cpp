#include "zylsim/parallel_link.h"

#include <algorithm>

#include "adapter_commands.h"

namespace zylsim {

namespace {
constexpr uint8_t kBadEcho = 0xD5;
}

ParallelLink::ParallelLink(Emulator& emulator)
    : emulator_(emulator), firmware_(emulator.Adapter()), stats_(emulator.Stats()) {}

void ParallelLink::Tick() {
  ++stats_.pinAccesses;
  Pass(1);
}

void ParallelLink::Pass(uint64_t microseconds) {
  busyUs_ += firmware_.TakeWorkMicros();
  // Work already moved the chip's clock on; only time beyond it is new.
  const uint64_t covered = std::min(busyUs_, microseconds);
  busyUs_ -= covered;
  idleUs_ += microseconds - covered;
}

void ParallelLink::HandIdleTime() {
  if (idleUs_ == 0) return;
  firmware_.Idle(idleUs_ * 1000);
  idleUs_ = 0;
}

void ParallelLink::Elapse(uint64_t microseconds) {
  Pass(microseconds);
  HandIdleTime();
}

bool ParallelLink::Ready() const {
  return running_ && !emulator_.Config().silent && !bitPhase_ && busyUs_ == 0;
}

void ParallelLink::HostPins(uint32_t levels) {
  Tick();
  const uint32_t old = host_;
  host_ = levels;
  const bool runNow = (levels & kRun) != 0;
  if (runNow != ((old & kRun) != 0)) {
    running_ = runNow;
    bitPhase_ = false;
    bit_ = 0;
    busyUs_ = 0;
    firmware_.TakeWorkMicros();
    HandIdleTime();
    // Booting, the adapter offers its identity; held in reset, it has nothing.
    emulator_.PowerOn(runNow);
    dataIn_ = !firmware_.HasOutput() && runNow;
    if (!runNow) emulator_.Persist();
    return;
  }
  if (!running_) return;
  const bool clockNow = (levels & kClock) != 0;
  const bool clockOld = (old & kClock) != 0;
  if (clockNow && !clockOld) ClockRise();
  if (!clockNow && clockOld) ClockFall();
}

void ParallelLink::ClockRise() {
  // A clock while the adapter is busy or silent is not taken.
  if (busyUs_ > 0 || emulator_.Config().silent) return;
  if (bit_ == 0) {
    sending_ = firmware_.HasOutput();
    shift_ = sending_ ? firmware_.PeekOutput() : 0;
  }
  const int position = 7 - bit_;
  if (sending_) {
    dataIn_ = ((shift_ >> position) & 1) != 0;
  } else {
    shift_ = static_cast<uint8_t>(shift_ | (((host_ & kDataOut) != 0 ? 1 : 0) << position));
    const uint8_t echo = emulator_.Config().badEcho ? kBadEcho : adapter::kEcho;
    dataIn_ = ((echo >> position) & 1) != 0;
  }
  bitPhase_ = true;
  if (++bit_ < 8) return;
  if (sending_) {
    firmware_.TakeOutput();
  } else {
    HandIdleTime();
    firmware_.Receive(shift_);
    busyUs_ += firmware_.TakeWorkMicros();
  }
}

void ParallelLink::ClockFall() {
  if (!bitPhase_) return;
  bitPhase_ = false;
  if (bit_ == 8) {
    bit_ = 0;
    dataIn_ = !firmware_.HasOutput();
  }
}

uint32_t ParallelLink::DevicePins() {
  Tick();
  uint32_t pins = 0;
  if (Ready()) pins |= kReady;
  if (dataIn_) pins |= kDataIn;
  return pins;
}

}  // namespace zylsim
