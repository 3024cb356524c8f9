// Systems without a view of another descriptor's position (Windows, POSIX
// systems without Linux's /proc/self/fdinfo): a file's progress is not known
// until the library has finished it.
#include "FileFacts.h"

namespace wavchorus_cli {

std::optional<std::uint64_t> readPositionOf(const FileIdentity& /*file*/) {
    return std::nullopt;
}

} // namespace wavchorus_cli
