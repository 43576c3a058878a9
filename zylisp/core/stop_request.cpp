#include "core/stop_request.h"

#include <atomic>

namespace zylisp {

namespace {

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler sets the stop request");

}  // namespace

void RequestStop() noexcept { g_stop.store(true, std::memory_order_relaxed); }

bool StopRequested() noexcept { return g_stop.load(std::memory_order_relaxed); }

void ClearStopRequest() noexcept { g_stop.store(false, std::memory_order_relaxed); }

}  // namespace zylisp
