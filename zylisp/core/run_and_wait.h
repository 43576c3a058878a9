// Starts a program and waits for it to end, within a time limit.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace zylisp {

// Starts argv[0] with the given arguments, the caller's environment and
// current folder, and waits until it ends or limit passes; a program still
// running then is killed. False when it could not be started. The exit
// status is not examined. Never busy-waits.
bool RunAndWait(const std::vector<std::string>& argv, std::chrono::milliseconds limit);

}  // namespace zylisp
