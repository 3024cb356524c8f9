// Linux: sync_file_range with SYNC_FILE_RANGE_WRITE queues the writeback of the
// file's dirty pages and returns without waiting for them. Linux alone has it;
// elsewhere Writeback_none.cpp stands in.
#include "Writeback.h"

#include <fcntl.h>

namespace mavrel {

void startWritingBack(int fd) {
    // Offset 0 and length 0: the whole file. Pages already on their way or clean
    // are passed over. A failure only means the data goes later, as without it.
    (void)::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

} // namespace mavrel
