// POSIX: a file is its device and inode.
#include "FileFacts.h"

#include <sys/stat.h>

namespace wavchorus_cli {

std::optional<FileIdentity> identityOf(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino)};
}

namespace {

FileStatus statusFrom(const struct stat& st) {
    FileStatus status;
    status.kind = S_ISREG(st.st_mode)    ? FileStatus::Kind::regular
                  : S_ISFIFO(st.st_mode) ? FileStatus::Kind::fifo
                                         : FileStatus::Kind::other;
    status.size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    status.identity = {static_cast<std::uint64_t>(st.st_dev),
                       static_cast<std::uint64_t>(st.st_ino)};
    return status;
}

} // namespace

std::optional<FileStatus> statusOf(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return statusFrom(st);
}

std::optional<FileStatus> statusOfDescriptor(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return std::nullopt;
    }
    return statusFrom(st);
}

std::optional<std::string> descriptorPath(int fd) {
    return "/dev/fd/" + std::to_string(fd);
}

} // namespace wavchorus_cli
