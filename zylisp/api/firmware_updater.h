// The external firmware updater: found by name in a folder the client
// gives, started with the library's name and the firmware it requires.
#pragma once

#include <chrono>
#include <string>

namespace zylisp {

// The updater's file name; matched without regard to case.
constexpr const char* kUpdaterName = "Tarnwick.exe";

// Path of the updater in folder, or empty when the folder holds none.
std::string FindUpdater(const std::string& folder);

// How long an updater may run before it is stopped (five minutes; tests
// shorten it).
std::chrono::milliseconds& UpdaterTimeLimit();

}  // namespace zylisp
