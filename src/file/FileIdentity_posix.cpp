// POSIX: a file is its device and inode.
#include "FileIdentity.h"

namespace mavrel {
namespace {

FileStatus statusFrom(const struct stat& st) {
    FileStatus status;
    status.kind = S_ISREG(st.st_mode)    ? FileStatus::Kind::regular
                  : S_ISFIFO(st.st_mode) ? FileStatus::Kind::fifo
                                         : FileStatus::Kind::other;
    status.size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    status.identity = identityFrom(st);
    return status;
}

} // namespace

std::optional<FileIdentity> identityOf(const std::filesystem::path& path) {
    const std::optional<FileStatus> status = statusOf(path);
    return status ? std::optional<FileIdentity>(status->identity) : std::nullopt;
}

std::optional<FileStatus> statusOf(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return statusFrom(st);
}

std::optional<FileStatus> statusOf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return std::nullopt;
    }
    return statusFrom(st);
}

std::optional<std::string> descriptorPath(int fd) {
    return "/dev/fd/" + std::to_string(fd);
}

} // namespace mavrel
