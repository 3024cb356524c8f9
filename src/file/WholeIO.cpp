// A call interrupted by a signal (EINTR) is made again. The Windows C run-time
// takes at most an unsigned int of bytes at a time. The stream's lock is
// flockfile on POSIX and the C run-time's _lock_file on Windows, its descriptor
// fileno or _fileno; on a text-mode stdout, Windows' _write translates newlines
// as printf does.
#include "WholeIO.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace mavrel {

std::ptrdiff_t readWhole(int fd, void* buffer, std::size_t n, int& err) {
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
#if defined(_WIN32)
        const int got =
            ::_read(fd, p + done, static_cast<unsigned>(std::min<std::size_t>(n - done, INT_MAX)));
#else
        const ssize_t got = ::read(fd, p + done, n - done);
#endif
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            err = errno;
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::ptrdiff_t>(done);
}

bool writeWhole(int fd, const void* data, std::size_t n, int& err) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (n > 0) {
#if defined(_WIN32)
        const int put = ::_write(fd, p, static_cast<unsigned>(std::min<std::size_t>(n, INT_MAX)));
#else
        const ssize_t put = ::write(fd, p, n);
#endif
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            err = put < 0 ? errno : EIO;
            return false;
        }
        p += put;
        n -= static_cast<std::size_t>(put);
    }
    return true;
}

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
