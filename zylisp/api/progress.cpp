#include "api/progress.h"

#include "api/api_state.h"

namespace zylisp {

namespace {

int32_t lastDone = -1;
int32_t lastTotal = 0;

}  // namespace

void TProgressObj::Forward(int32_t done, int32_t total) {
  lastDone = done;
  lastTotal = total;
  if (ZylProgressHandler handler = ApiState().ProgressHandler) handler(done, total);
}

void TProgressObj::Reset() {
  lastDone = -1;
  lastTotal = 0;
}

int32_t TProgressObj::LastDone() { return lastDone; }
int32_t TProgressObj::LastTotal() { return lastTotal; }

}  // namespace zylisp
