// Linux shows the position of every descriptor of the process in
// /proc/self/fdinfo: the library's descriptor on the input is found by the file
// it leads to.
#include "FileFacts.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>

namespace wavchorus_cli {

std::optional<std::uint64_t> readPositionOf(const FileIdentity& file) {
    std::optional<std::uint64_t> furthest;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        struct stat st {};
        if (::stat(entry.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
            FileIdentity{static_cast<std::uint64_t>(st.st_dev),
                         static_cast<std::uint64_t>(st.st_ino)} != file) {
            continue;
        }
        const std::string info = "/proc/self/fdinfo/" + entry.path().filename().string();
        std::FILE* f = std::fopen(info.c_str(), "re");
        if (f == nullptr) {
            continue;
        }
        unsigned long long pos = 0;
        if (std::fscanf(f, "pos: %llu", &pos) == 1 && (!furthest || pos > *furthest)) {
            furthest = pos;
        }
        std::fclose(f);
    }
    return furthest;
}

} // namespace wavchorus_cli
