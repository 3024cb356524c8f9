// A call interrupted by a signal (EINTR) is made again. The Windows C run-time
// takes an unsigned int of bytes at a time and has no EINTR.
#include "WholeIO.h"

#include <algorithm>
#include <cerrno>
#include <climits>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace mavrel {
namespace {

#if defined(_WIN32)
constexpr std::size_t kMostAtOnce = INT_MAX;
auto readOnce(int fd, void* p, std::size_t n) {
    return ::_read(fd, p, static_cast<unsigned>(n));
}
auto writeOnce(int fd, const void* p, std::size_t n) {
    return ::_write(fd, p, static_cast<unsigned>(n));
}
#else
constexpr std::size_t kMostAtOnce = SSIZE_MAX;
auto readOnce(int fd, void* p, std::size_t n) {
    return ::read(fd, p, n);
}
auto writeOnce(int fd, const void* p, std::size_t n) {
    return ::write(fd, p, n);
}
#endif

} // namespace

std::ptrdiff_t readWhole(int fd, void* buffer, std::size_t n, int& err) {
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        const auto got = readOnce(fd, p + done, std::min(n - done, kMostAtOnce));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
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
        const auto put = writeOnce(fd, p, std::min(n, kMostAtOnce));
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            err = errno;
            return false;
        }
        if (put == 0) {
            err = EIO;
            return false;
        }
        p += put;
        n -= static_cast<std::size_t>(put);
    }
    return true;
}

} // namespace mavrel
