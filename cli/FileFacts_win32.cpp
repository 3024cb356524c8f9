// Windows: a file is its volume's serial number and its file index.
#include "FileFacts.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace wavchorus_cli {

std::optional<FileIdentity> identityOf(const std::filesystem::path& path) {
    // Backup semantics, so that a directory can be opened and looked at too.
    HANDLE h =
        ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
    ::CloseHandle(h);
    if (!ok) {
        return std::nullopt;
    }
    return FileIdentity{info.dwVolumeSerialNumber, static_cast<std::uint64_t>(info.nFileIndexHigh)
                                                           << 32U |
                                                       info.nFileIndexLow};
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

} // namespace wavchorus_cli
