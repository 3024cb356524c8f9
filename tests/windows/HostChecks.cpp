#include "HostChecks.h"

#include <algorithm>
#include <cstdio>

namespace host {
namespace {

int failureCount = 0;

} // namespace

void fail(const std::string& what) {
    ++failureCount;
    std::printf("FAIL: %s\n", what.c_str());
    std::fflush(stdout);
}

bool check(bool ok, const std::string& what) {
    if (!ok) {
        fail(what);
    }
    return ok;
}

int failures() {
    return failureCount;
}

std::string narrow(const std::wstring& s) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) {
        return "?";
    }
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

std::wstring join(const std::wstring& dir, const std::wstring& name) {
    return dir + L"\\" + name;
}

std::optional<std::vector<std::uint8_t>> readFile(const std::wstring& path) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t block[65536];
    bool ok = true;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(h, block, sizeof block, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) {
            break;
        }
        bytes.insert(bytes.end(), block, block + got);
    }
    ::CloseHandle(h);
    if (!ok) {
        return std::nullopt;
    }
    return bytes;
}

bool writeFile(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD put = 0;
    const bool written =
        ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
        put == bytes.size();
    return ::CloseHandle(h) && written;
}

bool fileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> listFiles(const std::wstring& dir, const std::wstring& pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE h = ::FindFirstFileW(join(dir, pattern).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            names.push_back(name);
        }
    } while (::FindNextFileW(h, &found));
    ::FindClose(h);
    return names;
}

namespace {

// Empties a directory, folders included, by the \\?\ form of its absolute
// path, which holds paths longer than MAX_PATH.
void emptyTree(const std::wstring& longPath) {
    for (const std::wstring& name : listFiles(longPath, L"*")) {
        const std::wstring file = join(longPath, name);
        ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!::DeleteFileW(file.c_str())) {
            emptyTree(file);
            ::RemoveDirectoryW(file.c_str());
        }
    }
}

} // namespace

bool freshDirectory(const std::wstring& path) {
    emptyTree(path.size() > 2 && path[1] == L':' ? L"\\\\?\\" + path : path);
    ::CreateDirectoryW(path.c_str(), nullptr);
    return listFiles(path, L"*").empty() &&
           (::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool sameWav(const std::wstring& expectedPath, const std::wstring& actualPath) {
    const auto expected = readFile(expectedPath);
    const auto actual = readFile(actualPath);
    if (!expected) {
        fail("cannot read the expected output " + narrow(expectedPath));
        return false;
    }
    if (!actual) {
        fail("cannot read the output " + narrow(actualPath));
        return false;
    }
    if (*expected == *actual) {
        return true;
    }
    std::printf("%s differs from %s: %zu bytes, expected %zu\n", narrow(actualPath).c_str(),
                narrow(expectedPath).c_str(), actual->size(), expected->size());
    const std::size_t common = std::min(expected->size(), actual->size());
    std::size_t shown = 0;
    std::size_t differing = 0;
    for (std::size_t off = 0; off + 1 < common; off += 2) {
        if ((*expected)[off] == (*actual)[off] && (*expected)[off + 1] == (*actual)[off + 1]) {
            continue;
        }
        ++differing;
        if (shown++ < 20) {
            const auto value = [](const std::vector<std::uint8_t>& b, std::size_t at) {
                return static_cast<std::int16_t>(b[at] | b[at + 1] << 8U);
            };
            std::printf("  byte %zu (value %lld after the header): expected %d, got %d\n", off,
                        static_cast<long long>(off / 2) - 22, value(*expected, off),
                        value(*actual, off));
        }
    }
    fail(narrow(actualPath) + ": " + std::to_string(differing) +
         " differing 16-bit values against the x86-64 Linux build");
    return false;
}

} // namespace host
