// Text for the process's standard output that must arrive in one piece.
#pragma once

#include <cstddef>

namespace mavrel {

// Writes n bytes to the C library's stdout after what its buffer already holds,
// with one write to the file descriptor behind it, while holding the stream's
// lock: no other thread's stdio output can come between, and on a pipe (up to
// PIPE_BUF bytes) no other process's write either. Returns false when stdout
// has no descriptor or the write fails.
bool writeWholeToStandardOutput(const char* text, std::size_t n);

} // namespace mavrel
