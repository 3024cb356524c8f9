// The stream's lock is flockfile on POSIX and the C run-time's _lock_file on
// Windows, its descriptor fileno or _fileno; on a text-mode stdout, Windows'
// _write translates newlines as printf does.
#include "StandardOutput.h"

#include "WholeIO.h"

#include <cstdio>

namespace mavrel {

bool writeWholeToStandardOutput(const char* text, std::size_t n) {
#if defined(_WIN32)
    ::_lock_file(stdout);
    const int fd = ::_fileno(stdout);
#else
    ::flockfile(stdout);
    const int fd = ::fileno(stdout);
#endif
    int err = 0;
    const bool ok = std::fflush(stdout) == 0 && fd >= 0 && writeWhole(fd, text, n, err);
#if defined(_WIN32)
    ::_unlock_file(stdout);
#else
    ::funlockfile(stdout);
#endif
    return ok;
}

} // namespace mavrel
