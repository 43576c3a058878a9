// Forwards driver progress to the client's callback.
#pragma once

#include <cstdint>

namespace zylisp {

class TProgressObj {
 public:
  // Passes (done, total) unchanged to the client's handler, when one is set.
  static void Forward(int32_t done, int32_t total);
  // Forgets the last report, at the start of an operation.
  static void Reset();
  // The last (done, total) reported since Reset; done is -1 when none was.
  static int32_t LastDone();
  static int32_t LastTotal();
};

}  // namespace zylisp
