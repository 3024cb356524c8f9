// Windows: the descriptors of the C run-time (_pipe, _dup, _dup2), which the
// library's stdout shares.
#include "Console.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <io.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace wavchorus_cli::console {

bool openClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        // -2: the descriptor has no stream behind it (a program started with
        // that handle closed, or without a console).
        const intptr_t handle = ::_get_osfhandle(fd);
        if (handle != -1 && handle != -2) {
            continue;
        }
        const int opened = ::_open("NUL", (fd == 0 ? _O_RDONLY : _O_WRONLY) | _O_BINARY);
        if (opened < 0) {
            return false;
        }
        if (opened != fd) {
            const bool moved = ::_dup2(opened, fd) == 0;
            (void)::_close(opened);
            if (!moved) {
                return false;
            }
        }
    }
    return true;
}

bool isTerminal(int fd) {
    return ::_isatty(fd) != 0;
}

int terminalWidth(int fd) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (handle == INVALID_HANDLE_VALUE || !::GetConsoleScreenBufferInfo(handle, &info)) {
        return 0;
    }
    return info.srWindow.Right - info.srWindow.Left + 1;
}

bool canRedrawLine(int fd) {
    return isTerminal(fd);
}

std::string clearLine(std::size_t width) {
    // A console without escape sequences: blanks over what was written.
    std::string text(width + 2, ' ');
    text.front() = '\r';
    text.back() = '\r';
    return text;
}

bool makePipe(int (&fds)[2]) {
    return ::_pipe(fds, 64 * 1024, _O_BINARY | _O_NOINHERIT) == 0;
}

int duplicate(int fd) {
    return ::_dup(fd);
}

bool redirect(int fd, int with) {
    return ::_dup2(with, fd) == 0;
}

void closeDescriptor(int fd) {
    if (fd >= 0) {
        (void)::_close(fd);
    }
}

int openDiscard() {
    return ::_open("NUL", _O_WRONLY | _O_BINARY | _O_NOINHERIT);
}

std::ptrdiff_t readSome(int fd, void* buffer, std::size_t n) {
    const unsigned chunk = n > INT_MAX ? INT_MAX : static_cast<unsigned>(n);
    const int got = ::_read(fd, buffer, chunk);
    return got;
}

std::string lastErrorText() {
    return std::strerror(errno);
}

} // namespace wavchorus_cli::console
