// Reads and writes of a whole buffer through a file descriptor: a pipe, a
// terminal or a signal may take part of one, and the rest follows at once.
#pragma once

#include <cstddef>

namespace mavrel {

// Up to n bytes, fewer only at the end of the file. Returns the bytes read, or
// -1 with err set (an errno value).
std::ptrdiff_t readWhole(int fd, void* buffer, std::size_t n, int& err);

// All n bytes, or false with err set.
bool writeWhole(int fd, const void* data, std::size_t n, int& err);

} // namespace mavrel
