// Which file a name or an open file is: its device and its number on that
// device. Two names (a symbolic link, another hard link) that lead to one file
// have the same identity, so an output can tell that it replaces its own input.
#pragma once

#include <compare>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace mavrel {

struct FileIdentity {
    std::uint64_t device = 0; // st_dev; the volume's serial number on Windows
    std::uint64_t number = 0; // st_ino; the file index on Windows
    // Ordered too, as a key of a map. clang-tidy 14 takes the 0 that the defaulted
    // comparison is made of for a null pointer.
    // NOLINTNEXTLINE(modernize-use-nullptr)
    friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};

// Nothing when the system gives no identity (a pipe on Windows, a failed query):
// a file without one is the same as no other.
inline bool sameFile(const std::optional<FileIdentity>& a, const std::optional<FileIdentity>& b) {
    return a && b && *a == *b;
}

// The file a path leads to (symbolic links followed); nothing when there is none
// that can be looked at.
std::optional<FileIdentity> identityOf(const std::filesystem::path& path);

// What a path or an open descriptor leads to, looked at once.
struct FileStatus {
    enum class Kind { regular, fifo, other };
    Kind kind = Kind::other;
    std::uint64_t size = 0; // of a regular file
    FileIdentity identity;
};
std::optional<FileStatus> statusOf(const std::filesystem::path& path);
std::optional<FileStatus> statusOf(int fd);

// A path that opens what descriptor fd refers to, as the file itself (/dev/fd/N);
// nothing where the system has none (Windows).
std::optional<std::string> descriptorPath(int fd);

#if defined(_WIN32)
// The identity of an open file's HANDLE.
std::optional<FileIdentity> identityOfHandle(void* handle);
#else
inline FileIdentity identityFrom(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}
#endif

} // namespace mavrel
