// Starting the writeback of a file's data without waiting for it, and finding
// room on storage for the data ahead before it is written.
#pragma once

#include <cstdint>

namespace mavrel {

// Starts writing the dirty data of the open file fd to storage. Returns at once;
// where the system has no such request, does nothing.
void startWritingBack(int fd);

// Gives the open file fd room on storage for length bytes from offset, at once,
// and extends the file to their end if it is shorter, so that the system need not
// find room for them page by page as they are written. The bytes read as zeros
// until written. Returns false where the system has no such request, refuses it
// or the room is not there (the room found may then be part of it); the writes
// then find room as they would have.
bool reserveRoom(int fd, std::uint64_t offset, std::uint64_t length);

} // namespace mavrel
