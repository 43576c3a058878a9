// The tool's argument vector: the program's own file, the arguments, and an
// empty entry after them.
#pragma once

#include <string>
#include <vector>

namespace velkoisp {

// The most arguments a command line may hold.
constexpr int kMaxArguments = 63;

// Full path of the running program's file; text typed to start it when the
// system cannot tell.
std::string ProgramPath(const char* typed);

// {program path, argv[1] .. argv[argc-1], ""}.
std::vector<std::string> BuildArgumentVector(int argc, const char* const* argv);

// The file name of a path, without its directory.
std::string FileNameOf(const std::string& path);

}  // namespace velkoisp
