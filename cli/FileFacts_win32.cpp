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

} // namespace wavchorus_cli
