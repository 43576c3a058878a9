#include "zylsim/statistics.h"

#include <ostream>

namespace zylsim {

void PrintStatistics(std::ostream& out, const Statistics& s) {
  out << "bytes_from_host " << s.bytesFromHost << '\n'
      << "bytes_to_host " << s.bytesToHost << '\n'
      << "commands " << s.commands << '\n'
      << "error_replies " << s.errorReplies << '\n'
      << "passes " << s.passes << '\n'
      << "pin_accesses " << s.pinAccesses << '\n'
      << "bus_bit_times " << s.busBitTimes << '\n'
      << "virtual_us " << s.virtualMicros << '\n';
}

}  // namespace zylsim
