// Windows: the C run-time's stream lock is _lock_file, its descriptor _fileno;
// _write translates newlines as printf does on a text-mode stdout.
#include "StandardOutput.h"

#include <climits>
#include <cstdio>
#include <io.h>

namespace mavrel {

bool writeWholeToStandardOutput(const char* text, std::size_t n) {
    ::_lock_file(stdout);
    bool ok = std::fflush(stdout) == 0;
    const int fd = ::_fileno(stdout);
    ok = ok && fd >= 0;
    while (ok && n > 0) {
        const unsigned chunk = n > INT_MAX ? INT_MAX : static_cast<unsigned>(n);
        const int put = ::_write(fd, text, chunk);
        ok = put > 0;
        if (ok) {
            text += put;
            n -= static_cast<std::size_t>(put);
        }
    }
    ::_unlock_file(stdout);
    return ok;
}

} // namespace mavrel
