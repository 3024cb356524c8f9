// The command line's own messages on stderr, one line each, written whole.
#pragma once

#include <string>

namespace wavchorus_cli {

// "wavchorus: TEXT"
void say(const std::string& text);
// "wavchorus: warning: NAME: TEXT"
void warn(const std::string& name, const std::string& text);
// "wavchorus: TEXT", then where to find the usage; returns 2, the exit status of
// a usage error.
int usageError(const std::string& text);

} // namespace wavchorus_cli
