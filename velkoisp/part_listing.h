// --listdevices: every part the library knows, with its properties.
#pragma once

#include <iosfwd>

namespace velkoisp {

void PrintPartList(std::ostream& out);

}  // namespace velkoisp
