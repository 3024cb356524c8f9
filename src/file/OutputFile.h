// The output stream. A regular file is written where no reader can see it and
// takes the output's name only once complete, so a failed call never leaves a
// half-written file in its place and an existing output survives:
//   - on Linux, an unnamed file in the output's directory (O_TMPFILE), which a
//     process that dies at any point takes with it;
//   - elsewhere, or where the file system refuses unnamed files, a temporary file
//     .wavchorus.RANDOM.tmp beside the output, a short name whatever the
//     output's (on Windows, one marked for deletion until it is complete).
// A symbolic link is followed, also a dangling one: the file it names receives
// the output.
// Anything else (a pipe, a terminal, /dev/null, NUL) is written directly.
//
// When the output replaces the call's own input (the same file, also through a
// symbolic link or another hard link), the new data reaches stable storage
// before it takes the input's name, and the name after it: the input is the one
// thing a power cut could otherwise take. Other outputs skip the sync, since
// their input remains.
#pragma once

#include "FileIdentity.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace mavrel {

class OutputFile {
  public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Closes and removes an uncommitted temporary file.
    ~OutputFile();

    // input: the file the call reads, so that replacing it is made durable; an
    // unknown identity never matches. On failure returns false with err set to
    // the system's error code (errno, or GetLastError on Windows).
    bool create(const std::string& path, int& err, const std::optional<FileIdentity>& input = {});
    // Every 4 MiB written, the system is asked to start putting the file on
    // storage, without waiting for it: a long output then goes to the disk while
    // the writes go on, not all at once when it takes its place. Where the system
    // can, room on storage is also found then for the next stretch of the file,
    // up to the size expected (expectSize).
    bool write(const void* data, std::size_t n, int& err);
    // The size the whole file is expected to come to: room found ahead goes no
    // further. Without it, none is found. Should less be written, commit cuts the
    // file back to what was.
    void expectSize(std::uint64_t bytes);
    // Closes the file and puts it in place of the output.
    bool commit(int& err);

  private:
#if defined(_WIN32)
    void* handle_ = nullptr;         // the file's HANDLE; null when none is open
    bool markedForDeletion_ = false; // the system deletes the file when handle_ closes
#else
    int fd_ = -1;
    bool unnamed_ = false;          // fd_ is a file without a name
    std::uint64_t written_ = 0;     // bytes written
    std::uint64_t writtenBack_ = 0; // written_ when the writeback was last asked for
    std::uint64_t expected_ = 0;    // the size the file is expected to come to
    std::uint64_t roomEnd_ = 0;     // where the room asked for ends; the file may reach it
    bool roomRefused_ = false;      // the system gave no room: not asked again
    // Starts the writeback of what is written, and finds room ahead. A hint; it
    // cannot fail.
    void startWriteback();
#endif
    bool direct_ = false;    // writing to the output itself
    bool replacing_ = false; // the output existed when it was opened
    bool durable_ = false;   // the output replaces the input: sync before and after the rename
    std::string target_;     // the file that the output replaces
    std::string tempPath_;   // the temporary file's name while it has one
};

} // namespace mavrel
