// Forwards driver progress to the client's callback.
#pragma once

#include <cstdint>

namespace zylisp {

class TProgressObj {
 public:
  // Passes (done, total) unchanged to the client's handler, when one is set.
  static void Forward(int32_t done, int32_t total);
};

}  // namespace zylisp
