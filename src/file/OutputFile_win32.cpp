#include "OutputFile.h"

#include "PathConversion.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace mavrel {
namespace {

std::string uniqueSuffix(int attempt) {
    LARGE_INTEGER counter{};
    (void)::QueryPerformanceCounter(&counter);
    std::uint64_t bits = static_cast<std::uint64_t>(counter.QuadPart) * 0x9E3779B97F4A7C15ULL;
    bits ^= static_cast<std::uint64_t>(::GetCurrentProcessId()) << 32U;
    bits ^= static_cast<std::uint64_t>(::GetCurrentThreadId()) << 16U;
    bits += static_cast<std::uint64_t>(attempt);
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits));
    return text;
}

// Windows has no file without a name. The next best: the temporary file is
// marked for deletion while it is written, so that the system removes it when
// its handle closes, also when the process is terminated. The mark is cleared
// only just before the file is renamed into place.
bool markForDeletion(HANDLE h, bool deleteOnClose) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = deleteOnClose ? TRUE : FALSE;
    return ::SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition) !=
           0;
}

} // namespace

OutputFile::~OutputFile() {
    if (handle_ != nullptr) {
        ::CloseHandle(handle_);
    }
    if (!tempPath_.empty()) {
        ::DeleteFileW(systemPath(tempPath_).c_str());
    }
}

bool OutputFile::create(const std::string& path, int& err,
                        const std::optional<FileIdentity>& input) {
    // An existing output that is not a disk file (NUL, a pipe, a console) is
    // written directly.
    const std::wstring name = systemPath(path);
    HANDLE existing = ::CreateFileW(name.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (existing != INVALID_HANDLE_VALUE) {
        if (::GetFileType(existing) != FILE_TYPE_DISK) {
            handle_ = existing;
            direct_ = true;
            return true;
        }
        replacing_ = true;
        durable_ = sameFile(input, identityOfHandle(existing));
        if (!::CloseHandle(existing)) {
            err = static_cast<int>(::GetLastError());
            return false;
        }
        // A read-only file is not replaced, as it could not be overwritten.
        const DWORD attributes = ::GetFileAttributesW(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            err = ERROR_ACCESS_DENIED;
            return false;
        }
    } else {
        const DWORD openError = ::GetLastError();
        // A file that exists but cannot be written (read-only, a directory, in use)
        // fails here, before anything is created.
        if (openError != ERROR_FILE_NOT_FOUND) {
            err = static_cast<int>(openError);
            return false;
        }
    }

    // The temporary file goes beside the output, so that the rename stays on one
    // volume, under a short name whatever the output's, which may itself be as
    // long as a name can be (255 units).
    target_ = path;
    std::size_t cut = path.find_last_of("\\/");
    if (cut == std::string::npos && path.size() >= 2 && path[1] == ':') {
        cut = 1; // "C:name", in the drive's current directory
    }
    const std::string prefix =
        (cut == std::string::npos ? std::string() : path.substr(0, cut + 1)) + ".wavchorus.";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = prefix + uniqueSuffix(attempt) + ".tmp";
        // DELETE access, to set and clear the mark for deletion.
        HANDLE h = ::CreateFileW(systemPath(candidate).c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            handle_ = h;
            tempPath_ = std::move(candidate);
            // A file system that refuses the mark keeps the file as it is: then a
            // terminated process leaves it behind, as it would anyway.
            markedForDeletion_ = markForDeletion(h, true);
            return true;
        }
        const DWORD createError = ::GetLastError();
        if (createError != ERROR_FILE_EXISTS && createError != ERROR_ALREADY_EXISTS) {
            err = static_cast<int>(createError);
            return false;
        }
    }
    err = ERROR_FILE_EXISTS;
    return false;
}

bool OutputFile::write(const void* data, std::size_t n, int& err) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (n > 0) {
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(n, 1U << 30U));
        DWORD put = 0;
        if (!::WriteFile(handle_, p, chunk, &put, nullptr)) {
            err = static_cast<int>(::GetLastError());
            return false;
        }
        if (put == 0) {
            err = ERROR_WRITE_FAULT;
            return false;
        }
        p += put;
        n -= put;
    }
    return true;
}

// The cache manager's lazy writer already writes a file's data behind the
// program, a second or so after it is written.
void OutputFile::expectSize(std::uint64_t /*bytes*/) {}

bool OutputFile::commit(int& err) {
    // In place, the input's content goes with the rename: the new data is on
    // stable storage first.
    if (durable_ && !::FlushFileBuffers(handle_)) {
        err = static_cast<int>(::GetLastError());
        return false;
    }
    // From here to the end of the rename, a terminated process leaves the
    // complete temporary file beside the untouched output.
    if (markedForDeletion_ && !markForDeletion(handle_, false)) {
        err = static_cast<int>(::GetLastError());
        return false;
    }
    HANDLE h = handle_;
    handle_ = nullptr;
    if (!::CloseHandle(h)) {
        err = static_cast<int>(::GetLastError());
        return false;
    }
    if (direct_) {
        return true;
    }
    // Write-through in place: the call returns once the new name is on the disk.
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable_ ? MOVEFILE_WRITE_THROUGH : 0U);
    if (!::MoveFileExW(systemPath(tempPath_).c_str(), systemPath(target_).c_str(), flags)) {
        err = static_cast<int>(::GetLastError());
        return false;
    }
    tempPath_.clear();
    return true;
}

} // namespace mavrel
