// The external firmware updater: found by name in a folder the client
// gives, started with the library's name and the firmware it requires.
#pragma once

#include <chrono>
#include <string>

namespace zylisp {

// The updater's file name; matched without regard to case.
constexpr const char* kUpdaterName = "Tarnwick.exe";

// The updater a folder holds, or why it holds none that may be run.
struct TUpdaterLookup {
  std::string Path;     // set when found and trusted
  std::string Problem;  // otherwise what is wrong, naming the folder or file
};

// Finds the updater in folder and checks that it may be started: a
// folder must be named (the current folder is never searched for one);
// the updater is a regular file owned by the caller or by root that no
// one else may write, in a folder that no one but its owner may write,
// so that nobody else can put a program of theirs in its place.
TUpdaterLookup FindUpdater(const std::string& folder);

// How long an updater may run before it is stopped (five minutes; tests
// shorten it).
std::chrono::milliseconds& UpdaterTimeLimit();

}  // namespace zylisp
