// Which file an open file is: its device and its number on that device. Two
// names (a symbolic link, another hard link) that lead to one file have the same
// identity, so an output can tell that it replaces the call's own input.
#pragma once

#include <cstdint>

namespace mavrel {

struct FileIdentity {
    bool known = false;       // false when the system gave none (a pipe, a failed query)
    std::uint64_t device = 0; // st_dev; the volume's serial number on Windows
    std::uint64_t number = 0; // st_ino; the file index on Windows
};

inline bool sameFile(const FileIdentity& a, const FileIdentity& b) {
    return a.known && b.known && a.device == b.device && a.number == b.number;
}

} // namespace mavrel
