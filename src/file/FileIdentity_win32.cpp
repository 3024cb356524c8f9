// Windows: a file is its volume's serial number and its file index.
#include "FileIdentity.h"

#include <io.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace mavrel {

std::optional<FileIdentity> identityOfHandle(void* handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) {
        return std::nullopt;
    }
    return FileIdentity{info.dwVolumeSerialNumber, static_cast<std::uint64_t>(info.nFileIndexHigh)
                                                           << 32U |
                                                       info.nFileIndexLow};
}

std::optional<FileIdentity> identityOf(const std::filesystem::path& path) {
    // Backup semantics, so that a directory can be opened and looked at too.
    HANDLE h =
        ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    const std::optional<FileIdentity> identity = identityOfHandle(h);
    ::CloseHandle(h);
    return identity;
}

std::optional<FileStatus> statusOf(const std::filesystem::path& path) {
    const std::optional<FileIdentity> identity = identityOf(path);
    if (!identity) {
        return std::nullopt;
    }
    FileStatus status;
    status.identity = *identity;
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) {
        status.kind = FileStatus::Kind::regular;
        status.size = std::filesystem::file_size(path, ec);
    }
    return status;
}

// A disk file only: a pipe or a console has no file index.
std::optional<FileStatus> statusOf(int fd) {
    const auto h = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (h == INVALID_HANDLE_VALUE || ::GetFileType(h) != FILE_TYPE_DISK) {
        return std::nullopt;
    }
    const std::optional<FileIdentity> identity = identityOfHandle(h);
    if (!identity) {
        return std::nullopt;
    }
    FileStatus status;
    status.identity = *identity;
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(h, &size)) {
        status.kind = FileStatus::Kind::regular;
        status.size = static_cast<std::uint64_t>(size.QuadPart);
    }
    return status;
}

std::optional<std::string> descriptorPath(int /*fd*/) {
    return std::nullopt;
}

} // namespace mavrel
