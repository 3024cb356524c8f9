#include "InputFile.h"

#include <algorithm>
#include <cstdint>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace mavrel {

InputFile::~InputFile() {
    close();
}

void InputFile::close() {
    if (handle_ != nullptr) {
        (void)::CloseHandle(handle_);
        handle_ = nullptr;
    }
}

InputFile::OpenStatus InputFile::open(const std::string& path, int& err) {
    // Shared for deleting too, so that the output may replace the input while it
    // is open (a file processed in place).
    HANDLE h = ::CreateFileA(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        err = static_cast<int>(::GetLastError());
        const DWORD attributes = ::GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            err = 0;
            return OpenStatus::notRegularFile;
        }
        return OpenStatus::cannotOpen;
    }
    handle_ = h;
    // A pipe, console or device is not read as a file.
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        err = 0;
        return OpenStatus::notRegularFile;
    }
    BY_HANDLE_FILE_INFORMATION about{};
    if (::GetFileInformationByHandle(h, &about)) {
        identity_ = FileIdentity{true, about.dwVolumeSerialNumber,
                                 (static_cast<std::uint64_t>(about.nFileIndexHigh) << 32U) |
                                     about.nFileIndexLow};
    }
    return OpenStatus::ok;
}

std::ptrdiff_t InputFile::read(void* buffer, std::size_t n, int& err) {
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(n - done, 1U << 30U));
        DWORD got = 0;
        if (!::ReadFile(handle_, p + done, chunk, &got, nullptr)) {
            err = static_cast<int>(::GetLastError());
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return static_cast<std::ptrdiff_t>(done);
}

} // namespace mavrel
