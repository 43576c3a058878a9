// Every export runs its body through Guarded, so no exception ever leaves
// the library. Failures of the family map to codes per call; anything else
// gives the fallback value.
#pragma once

#include <cstdint>
#include <exception>
#include <utility>

namespace zylisp {

template <typename Result, typename Body>
Result Guarded(Result fallback, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return fallback;
  }
}

}  // namespace zylisp
