// Linux: sync_file_range with SYNC_FILE_RANGE_WRITE queues the writeback of the
// file's dirty pages and returns without waiting for them, and fallocate finds
// room for data ahead in whole extents (on ext4, writes into such room skip the
// reservation of each page, and the writeback the search for blocks). Linux
// alone has them; elsewhere (POSIX has no such requests, and posix_fallocate
// may write zeros where the file system cannot reserve) the data goes to storage
// when the system's own writeback takes it, and finds room as it is written.
#include "Writeback.h"

#include <algorithm>
#include <fcntl.h>
#include <limits>
#include <sys/resource.h>

namespace mavrel {

#if defined(__linux__)
void startWritingBack(int fd) {
    // Offset 0 and length 0: the whole file. Pages already on their way or clean
    // are passed over. A failure only means the data goes later, as without it.
    (void)::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

bool reserveRoom(int fd, std::uint64_t offset, std::uint64_t length) {
    // Never past the process's file-size limit (ulimit -f), where fallocate would
    // raise SIGXFSZ before any write reached the limit.
    auto most = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) {
        return false;
    }
    if (limit.rlim_cur != RLIM_INFINITY) {
        most = std::min(most, static_cast<std::uint64_t>(limit.rlim_cur));
    }
    if (offset > most || length > most - offset) {
        return false;
    }
    return ::fallocate(fd, 0, static_cast<off_t>(offset), static_cast<off_t>(length)) == 0;
}
#else
void startWritingBack(int /*fd*/) {}

bool reserveRoom(int /*fd*/, std::uint64_t /*offset*/, std::uint64_t /*length*/) {
    return false;
}
#endif

} // namespace mavrel
