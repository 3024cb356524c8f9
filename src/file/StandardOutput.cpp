// The stream's lock is flockfile on POSIX and the C run-time's _lock_file on
// Windows, its descriptor fileno or _fileno; on a text-mode stdout, Windows'
// _write translates newlines as printf does.
#include "StandardOutput.h"

#include "WholeIO.h"

#include <cstdio>

namespace mavrel {
namespace {

#if defined(_WIN32)
void lockStream(std::FILE* f) {
    ::_lock_file(f);
}
void unlockStream(std::FILE* f) {
    ::_unlock_file(f);
}
int descriptorOf(std::FILE* f) {
    return ::_fileno(f);
}
#else
void lockStream(std::FILE* f) {
    ::flockfile(f);
}
void unlockStream(std::FILE* f) {
    ::funlockfile(f);
}
int descriptorOf(std::FILE* f) {
    return ::fileno(f);
}
#endif

} // namespace

bool writeWholeToStandardOutput(const char* text, std::size_t n) {
    lockStream(stdout);
    bool ok = std::fflush(stdout) == 0;
    const int fd = descriptorOf(stdout);
    ok = ok && fd >= 0;
    int err = 0;
    ok = ok && writeWhole(fd, text, n, err);
    unlockStream(stdout);
    return ok;
}

} // namespace mavrel
