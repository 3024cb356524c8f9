#include "Messages.h"

#include <cstdio>

namespace wavchorus_cli {

void say(const std::string& text) {
    // One call: the stream's lock keeps the line whole among threads.
    std::fprintf(stderr, "wavchorus: %s\n", text.c_str());
}

void warn(const std::string& name, const std::string& text) {
    say("warning: " + name + ": " + text);
}

int usageError(const std::string& text) {
    say(text);
    std::fprintf(stderr, "Try 'wavchorus --help' for more information.\n");
    return 2;
}

} // namespace wavchorus_cli
