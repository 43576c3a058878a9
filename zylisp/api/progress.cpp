#include "api/progress.h"

#include "api/api_state.h"

namespace zylisp {

void TProgressObj::Forward(int32_t done, int32_t total) {
  if (ZylProgressHandler handler = ApiState().ProgressHandler) handler(done, total);
}

}  // namespace zylisp
