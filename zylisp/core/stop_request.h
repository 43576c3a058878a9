// The process's stop request: set from a signal handler or another thread,
// looked at by the chip operations at their page and block boundaries. It
// is a count of requests, so that each operation sees exactly the requests
// made since it began, whatever other operations start meanwhile.
#pragma once

#include <cstdint>

namespace zylisp {

// Async-signal-safe: one lock-free atomic increment.
void RequestStop() noexcept;
// The count of requests so far; an operation keeps it when it begins.
uint32_t StopEpoch() noexcept;
// A request came after the count was epoch.
bool StopRequestedSince(uint32_t epoch) noexcept;

}  // namespace zylisp
