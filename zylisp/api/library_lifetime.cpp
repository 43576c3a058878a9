// What happens when the library is loaded into and unloaded from a process.
#include "api/session.h"
#include "devices/device_list.h"
#include "image/hex_list.h"

namespace zylisp {

namespace {

__attribute__((constructor)) void OnLoad() {
  DeviceCatalogue();
  ResetSession();
}

__attribute__((destructor)) void OnUnload() {
  CurrentSession().Device = nullptr;
  CurrentSession().Buffer.reset();
}

}  // namespace
}  // namespace zylisp
