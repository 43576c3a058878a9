#include "core/debug_output.h"

#include <cstdio>
#include <cstdlib>

namespace zylisp {

void DebugOutput(const std::string& text) {
  if (std::getenv("ZYLISP_DEBUG")) std::fprintf(stderr, "%s\n", text.c_str());
}

}  // namespace zylisp
