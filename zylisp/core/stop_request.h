// The one stop request of the process: set from a signal handler or another
// thread, looked at by the chip operations at their page and block
// boundaries.
#pragma once

namespace zylisp {

// Async-signal-safe: one lock-free atomic store.
void RequestStop() noexcept;
bool StopRequested() noexcept;
// Forgets a request; every chip operation starts with this.
void ClearStopRequest() noexcept;

}  // namespace zylisp
