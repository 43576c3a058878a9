// The programmer connection: opening and closing the driver, the bracket
// around every device operation, and the port lists of the two kinds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>

namespace zylisp {

class TISPProgrammer;

// Builds the connection's values from the selection and the stored
// settings, creates the programmer for the current mode with them and opens
// it. Raises the failure family.
void OpenConnection();
// Opens the programmer again with the reset polarity and programming mode
// the client set: the values the adapter forgets when it restarts.
void OpenLink(TISPProgrammer& programmer);
// Closes and frees the programmer and the parallel-port access object.
// Cleans up completely even when the programmer's Close raises (that
// exception is passed on afterwards).
void CloseConnection();

// Runs work with a connection: opens and closes one around it unless the
// client holds one open. The connection is closed on every way out.
void WithConnection(const std::function<void()>& work);

// Fills the port names and count for the mode (1 serial, 2 parallel).
void EnumeratePorts(int32_t mode);

// The bytes the session's serial link sends ahead: its own setting, else
// ZYLISP_SERIAL_WINDOW, else the default. A bad ZYLISP_SERIAL_WINDOW raises
// EPortConfigError naming it.
std::size_t SessionSerialWindow();

// The programmer kind of a mode, or nullptr for a mode without one.
const char* KindOfMode(int32_t mode);

// Ready for an operation on the programmer: device, port and a mode that
// has a programmer kind.
bool IsReadyForProgrammer();

// Result code of a failure raised by an operation, per the export's table.
int32_t FailureCode(const std::exception_ptr& failure);

}  // namespace zylisp
