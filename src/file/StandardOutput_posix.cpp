// POSIX: the stream's lock is flockfile, its descriptor fileno.
#include "StandardOutput.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace mavrel {

bool writeWholeToStandardOutput(const char* text, std::size_t n) {
    ::flockfile(stdout);
    bool ok = std::fflush(stdout) == 0;
    const int fd = ::fileno(stdout);
    ok = ok && fd >= 0;
    // A terminal or a signal may take part of a write; the rest follows at once.
    while (ok && n > 0) {
        const ssize_t put = ::write(fd, text, n);
        if (put < 0) {
            ok = errno == EINTR;
            continue;
        }
        text += put;
        n -= static_cast<std::size_t>(put);
    }
    ::funlockfile(stdout);
    return ok;
}

} // namespace mavrel
