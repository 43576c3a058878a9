// The library's one diagnostic channel, standing for a debugger's output:
// standard error, and only when ZYLISP_DEBUG is set.
#pragma once

#include <string>

namespace zylisp {

// Writes text and a line end.
void DebugOutput(const std::string& text);

}  // namespace zylisp
