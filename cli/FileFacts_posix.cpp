// POSIX: a file is its device and inode.
#include "FileFacts.h"

#include <sys/stat.h>

namespace wavchorus_cli {

std::optional<FileIdentity> identityOf(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino)};
}

} // namespace wavchorus_cli
