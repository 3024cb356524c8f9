// Linux: sync_file_range with SYNC_FILE_RANGE_WRITE queues the writeback of the
// file's dirty pages and returns without waiting for them. Linux alone has it;
// elsewhere (POSIX has no such request) the data goes to storage when the
// system's own writeback takes it.
#include "Writeback.h"

#include <fcntl.h>

namespace mavrel {

#if defined(__linux__)
void startWritingBack(int fd) {
    // Offset 0 and length 0: the whole file. Pages already on their way or clean
    // are passed over. A failure only means the data goes later, as without it.
    (void)::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}
#else
void startWritingBack(int /*fd*/) {}
#endif

} // namespace mavrel
