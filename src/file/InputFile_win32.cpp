#include "InputFile.h"

#include "PathConversion.h"

#include <algorithm>
#include <cstdint>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace mavrel {

void InputFile::close() {
    if (handle_ != nullptr) {
        (void)::CloseHandle(handle_);
        handle_ = nullptr;
    }
}

InputFile::OpenStatus InputFile::open(const std::string& path, int& err) {
    // Shared for deleting too, so that the output may replace the input while it
    // is open (a file processed in place).
    const std::wstring name = systemPath(path);
    HANDLE h = ::CreateFileW(
        name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        err = static_cast<int>(::GetLastError());
        const DWORD attributes = ::GetFileAttributesW(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            err = 0;
            return OpenStatus::notFileOrPipe;
        }
        return OpenStatus::cannotOpen;
    }
    handle_ = h;
    // A disk file, or a named pipe read to its end. A console or a device is
    // refused: it has no end that a file would have.
    const DWORD type = ::GetFileType(h);
    if (type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE) {
        err = 0;
        return OpenStatus::notFileOrPipe;
    }
    identity_ = identityOfHandle(h);
    return OpenStatus::ok;
}

std::ptrdiff_t InputFile::read(void* buffer, std::size_t n, int& err) {
    auto* p = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(n - done, 1U << 30U));
        DWORD got = 0;
        if (!::ReadFile(handle_, p + done, chunk, &got, nullptr)) {
            const DWORD error = ::GetLastError();
            // The writer of a pipe has closed it: the end of the stream.
            if (error == ERROR_BROKEN_PIPE) {
                break;
            }
            err = static_cast<int>(error);
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return static_cast<std::ptrdiff_t>(done);
}

// The file is opened for a sequential scan, which the system reads ahead by itself.
void InputFile::willReadOnward() {}

} // namespace mavrel
