// The drivers against an adapter that answers with fuzz bytes. The first
// three bytes are a session header (driver_session.h), the rest is the
// reply script (reply_script.h), served over the simulated parallel port's
// pins or through a serial port of the harness's own. Whatever the replies,
// the driver may fail only with the library's own failures or the serial
// port's, and it neither waits nor sleeps.
#include <cstdint>

#include "drivers/shared_values.h"
#include "drivers/smart_parallel.h"
#include "fuzz/driver_session.h"
#include "fuzz/reply_script.h"
#include "fuzz/script_connector.h"
#include "fuzz/script_serial_port.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  zylisp::Shared().PortNames[0] = "COM1";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const fuzz::TSessionHeader header(data[0], data[1], data[2]);
  fuzz::TReplyScript script(data + 3, size - 3);
  if (header.Serial) {
    fuzz::TScriptSerial driver(script);
    fuzz::RunSession(driver, header);
    return 0;
  }
  fuzz::TScriptConnector connector(script);
  zylisp::TSmartParallel driver;
  fuzz::RunParallelSession(driver, connector, header);
  return 0;
}
