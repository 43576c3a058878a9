// What happens when the library is loaded into and unloaded from a process.
#include "api/api_state.h"
#include "devices/device_list.h"
#include "image/hex_list.h"

namespace zylisp {

namespace {

__attribute__((constructor)) void OnLoad() {
  DeviceCatalogue();
  ResetApiState();
}

__attribute__((destructor)) void OnUnload() {
  ApiState().Device = nullptr;
  ApiState().Buffer.reset();
}

}  // namespace
}  // namespace zylisp
