// The tool's own texts for the library's result codes.
#pragma once

#include <cstdint>
#include <string>

namespace velkoisp {

// "Operation Complete" for 0 ... "Internal Error Code -N" for codes without
// a text of their own.
std::string ResultText(int32_t code);

}  // namespace velkoisp
