// The drivers against an adapter that answers with fuzz bytes. The first
// three bytes are a session header (driver_session.h), the rest is the
// reply script (reply_script.h), served over the simulated parallel port's
// pins or through a serial port of the harness's own. Whatever the replies,
// the driver may fail only with the library's own failures or the serial
// port's, and it neither waits nor sleeps.
#include <cstdint>

#include <memory>

#include "drivers/smart_parallel.h"
#include "fuzz/driver_session.h"
#include "fuzz/reply_script.h"
#include "fuzz/script_connector.h"
#include "fuzz/script_serial_port.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const fuzz::TSessionHeader header(data[0], data[1], data[2]);
  fuzz::TReplyScript script(data + 3, size - 3);
  if (header.Serial) {
    fuzz::RunSession(header, [&](const zylisp::TConnectionParams& params) {
      return std::make_unique<fuzz::TQuickSerial>(
          params, std::make_unique<fuzz::TScriptSerialPort>(script));
    });
    return 0;
  }
  fuzz::TScriptConnector connector(script);
  fuzz::RunParallelSession(header, connector, [](const zylisp::TConnectionParams& params) {
    return std::make_unique<zylisp::TSmartParallel>(params);
  });
  return 0;
}
