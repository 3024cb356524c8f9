// The file descriptors of the console: what the command line needs to take over
// stdout and stderr for a while (to show a progress line between what the
// library prints, to send the report to stderr, to drop it) and to pass streams
// on. Descriptors are those of the C run-time, which the library shares.
#pragma once

#include "WholeIO.h"

#include <cerrno>
#include <cstddef>
#include <string>

namespace wavchorus_cli::console {

// Opens the null device on each of descriptors 0, 1 and 2 that is closed, so
// that no file or pipe of the program's own ever takes the place of standard
// input, output or error. Call first thing in main; false when one could not be
// opened.
bool openClosedStandardDescriptors();

bool isTerminal(int fd);
// Columns of the terminal at fd; 0 when unknown.
int terminalWidth(int fd);
// Whether a line on the terminal at fd can be drawn over again (not a "dumb"
// terminal).
bool canRedrawLine(int fd);
// What to write to the terminal to leave an empty line, the cursor at its
// start, where `width` characters were written since the last line's start.
std::string clearLine(std::size_t width);

// A pipe, fds[0] to read and fds[1] to write, not inherited by other programs
// (binary on Windows). False with nothing open on failure.
bool makePipe(int (&fds)[2]);
// A new descriptor for what fd refers to; -1 on failure.
int duplicate(int fd);
// Makes fd refer to what `with` refers to.
bool redirect(int fd, int with);
void closeDescriptor(int fd);
// A descriptor open for writing that discards what it is given; -1 on failure.
int openDiscard();

// One read: the count read, 0 at the end, -1 on an error (interruptions retried).
std::ptrdiff_t readSome(int fd, void* buffer, std::size_t n);
// Writes all n bytes, as the system layer writes a whole buffer; false on an
// error, which lastErrorText() then gives.
inline bool writeAll(int fd, const void* data, std::size_t n) {
    int err = 0;
    if (mavrel::writeWhole(fd, data, n, err)) {
        return true;
    }
    errno = err;
    return false;
}

// The system's text for the last error of a call above, or of a C library call.
std::string lastErrorText();

} // namespace wavchorus_cli::console
