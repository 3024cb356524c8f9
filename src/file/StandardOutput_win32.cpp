// Windows: the C run-time's stream lock is _lock_file, its descriptor _fileno;
// _write translates newlines as printf does on a text-mode stdout.
#include "StandardOutput.h"

#include "WholeIO.h"

#include <cstdio>

namespace mavrel {

bool writeWholeToStandardOutput(const char* text, std::size_t n) {
    ::_lock_file(stdout);
    bool ok = std::fflush(stdout) == 0;
    const int fd = ::_fileno(stdout);
    ok = ok && fd >= 0;
    int err = 0;
    ok = ok && writeWhole(fd, text, n, err);
    ::_unlock_file(stdout);
    return ok;
}

} // namespace mavrel
