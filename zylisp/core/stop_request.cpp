#include "core/stop_request.h"

#include <atomic>

namespace zylisp {

namespace {

std::atomic<uint32_t> g_requests{0};
static_assert(std::atomic<uint32_t>::is_always_lock_free, "a signal handler sets the stop request");

}  // namespace

void RequestStop() noexcept { g_requests.fetch_add(1, std::memory_order_relaxed); }

uint32_t StopEpoch() noexcept { return g_requests.load(std::memory_order_relaxed); }

bool StopRequestedSince(uint32_t epoch) noexcept {
  return g_requests.load(std::memory_order_relaxed) != epoch;
}

}  // namespace zylisp
