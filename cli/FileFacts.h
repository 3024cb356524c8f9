// What the command line needs to know of a file before the library opens it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace wavchorus_cli {

// Which file a path leads to (symbolic links followed): two paths with the same
// identity name one file, however they are spelt.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Nothing when the path leads to no file that can be looked at.
std::optional<FileIdentity> identityOf(const std::filesystem::path& path);

// What a path leads to, looked at once (symbolic links followed).
struct FileStatus {
    enum class Kind { regular, fifo, other };
    Kind kind = Kind::other;
    std::uint64_t size = 0; // of a regular file
    FileIdentity identity;
};
std::optional<FileStatus> statusOf(const std::filesystem::path& path);
// The same for what an open descriptor (0, 1, 2) refers to.
std::optional<FileStatus> statusOfDescriptor(int fd);
// A path that opens what descriptor fd refers to, as the file itself (/dev/fd/N);
// nothing where the system has none (Windows).
std::optional<std::string> descriptorPath(int fd);

} // namespace wavchorus_cli
