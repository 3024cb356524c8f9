// POSIX: the stream's lock is flockfile, its descriptor fileno.
#include "StandardOutput.h"

#include "WholeIO.h"

#include <cstdio>

namespace mavrel {

bool writeWholeToStandardOutput(const char* text, std::size_t n) {
    ::flockfile(stdout);
    bool ok = std::fflush(stdout) == 0;
    const int fd = ::fileno(stdout);
    ok = ok && fd >= 0;
    int err = 0;
    ok = ok && writeWhole(fd, text, n, err);
    ::funlockfile(stdout);
    return ok;
}

} // namespace mavrel
