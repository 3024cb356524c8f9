// POSIX descriptors.
#include "Console.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace wavchorus_cli::console {

bool openClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) {
            continue;
        }
        // The lowest free descriptor is fd itself: those below it are open.
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != fd) {
            closeDescriptor(opened);
            return false;
        }
    }
    return true;
}

bool isTerminal(int fd) {
    return ::isatty(fd) == 1;
}

int terminalWidth(int fd) {
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) != 0) {
        return 0;
    }
    return size.ws_col;
}

bool canRedrawLine(int fd) {
    const char* term = std::getenv("TERM");
    return isTerminal(fd) && term != nullptr && std::strcmp(term, "dumb") != 0;
}

std::string clearLine(std::size_t /*width*/) {
    // Back to the start, and erase to the end of the line (ECMA-48 EL).
    return "\r\033[K";
}

bool makePipe(int (&fds)[2]) {
    return ::pipe2(fds, O_CLOEXEC) == 0;
}

int duplicate(int fd) {
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
}

bool redirect(int fd, int with) {
    int r = 0;
    while ((r = ::dup2(with, fd)) < 0 && errno == EINTR) {
    }
    return r >= 0;
}

void closeDescriptor(int fd) {
    if (fd >= 0) {
        (void)::close(fd);
    }
}

int openDiscard() {
    return ::open("/dev/null", O_WRONLY | O_CLOEXEC);
}

std::ptrdiff_t readSome(int fd, void* buffer, std::size_t n) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer, n);
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

std::string lastErrorText() {
    return std::strerror(errno);
}

} // namespace wavchorus_cli::console
