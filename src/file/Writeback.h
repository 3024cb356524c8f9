// Starting the writeback of a file's data without waiting for it.
#pragma once

namespace mavrel {

// Starts writing the dirty data of the open file fd to storage. Returns at once;
// where the system has no such request, does nothing.
void startWritingBack(int fd);

} // namespace mavrel
