// The command line as a whole: options, help, version, and the two forms.
#pragma once

#include <string>
#include <vector>

namespace wavchorus_cli {

// Runs wavchorus with the arguments after the program's name, as UTF-8 (on
// POSIX the bytes given). Returns the exit status.
int runCommandLine(const std::vector<std::string>& args);

} // namespace wavchorus_cli
