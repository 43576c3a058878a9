#include "result_text.h"

namespace velkoisp {

std::string ResultText(int32_t code) {
  switch (code) {
    case 0: return "Operation Complete";
    case 1: return "Operation Failed";
    case 2: return "Device not ready for commands";
    case 3: return "Hardware not responding";
    case 4: return "Invalid port or port already in use";
    case 5: return "EEPROM area not available on selected device";
    case 6: return "File larger than device";
    case 8: return "Device not supported or recognised";
    case 9: return "Device not responding";
    case 10: return "Verify failed";
    case 11: return "Function not supported on device";
    case 17: return "Communications Port not available or already in use";
    case 18: return "Operation cancelled";
    case 19: return "Device write-protected by its status register";
    default: return "Internal Error Code -" + std::to_string(code);
  }
}

}  // namespace velkoisp
