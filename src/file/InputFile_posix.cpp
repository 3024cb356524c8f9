#include "InputFile.h"

#include "WholeIO.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mavrel {

void InputFile::close() {
    if (fd_ >= 0) {
        (void)::close(fd_);
        fd_ = -1;
    }
}

InputFile::OpenStatus InputFile::open(const std::string& path, int& err) {
    // O_NONBLOCK so that opening a FIFO with no writer cannot hang the call. Once
    // it is open and blocking again, a FIFO that no writer holds reads as its end.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        err = errno;
        return OpenStatus::cannotOpen;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        err = errno;
        return OpenStatus::cannotOpen;
    }
    identity_ = identityFrom(st);
    regular_ = S_ISREG(st.st_mode);
    if (!regular_ && !S_ISFIFO(st.st_mode)) {
        err = 0;
        return OpenStatus::notFileOrPipe;
    }
    // O_NONBLOCK matters to a FIFO alone: a regular file always has its data.
    if (regular_) {
        return OpenStatus::ok;
    }
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        err = errno;
        return OpenStatus::cannotOpen;
    }
    return OpenStatus::ok;
}

std::ptrdiff_t InputFile::read(void* buffer, std::size_t n, int& err) {
    return readWhole(fd_, buffer, n, err);
}

void InputFile::willReadOnward() {
    if (regular_) {
        // Offset and length 0: the whole file. Linux then doubles its read-ahead
        // window, so that the next block is read while this one is worked on.
        // posix_fadvise returns its error rather than setting errno; a refused
        // hint changes nothing.
        (void)::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
}

} // namespace mavrel
