// Reads and writes of a whole buffer through a file descriptor: a pipe, a
// terminal or a signal may take part of one, and the rest follows at once. Text
// for the process's standard output that must arrive in one piece.
#pragma once

#include <cstddef>

namespace mavrel {

// Up to n bytes, fewer only at the end of the file. Returns the bytes read, or
// -1 with err set (an errno value).
std::ptrdiff_t readWhole(int fd, void* buffer, std::size_t n, int& err);

// All n bytes, or false with err set.
bool writeWhole(int fd, const void* data, std::size_t n, int& err);

// Writes n bytes to the C library's stdout after what its buffer already holds,
// with one write to the file descriptor behind it, while holding the stream's
// lock: no other thread's stdio output can come between, and on a pipe (up to
// PIPE_BUF bytes) no other process's write either. Returns false when stdout
// has no descriptor or the write fails.
bool writeWholeToStandardOutput(const char* text, std::size_t n);

} // namespace mavrel
