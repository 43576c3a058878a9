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
      << "virtual_us " << s.virtualMicros << '\n'
      << "rx_peak_waiting " << s.rxPeakWaiting << '\n'
      << "rx_overruns " << s.rxOverruns << '\n'
      << "flash_erases_4k " << s.flashErases4k << '\n'
      << "flash_erases_32k " << s.flashErases32k << '\n'
      << "flash_erases_64k " << s.flashErases64k << '\n'
      << "flash_chip_erases " << s.flashChipErases << '\n'
      << "flash_page_programs " << s.flashPagePrograms << '\n'
      << "flash_four_byte_mode " << (s.flashFourByteMode ? 1 : 0) << '\n';
}

}  // namespace zylsim
