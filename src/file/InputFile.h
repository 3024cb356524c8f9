// The input stream: a regular file, or a pipe, read in blocks from its start to
// its end, never seeking back.
#pragma once

#include "FileIdentity.h"

#include <cstddef>
#include <string>

namespace mavrel {

class InputFile {
  public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() { close(); }

    enum class OpenStatus { ok, cannotOpen, notFileOrPipe };
    // Opens path for reading: a regular file, or a pipe or FIFO (a FIFO that no
    // writer holds open reads as empty at once, rather than wait for one).
    // Anything else, a directory or a device, is refused: a device such as
    // /dev/zero would never end.
    // On failure, err holds the system's error code (errno, or GetLastError on
    // Windows; 0 when the system gave none).
    OpenStatus open(const std::string& path, int& err);

    // Reads until n bytes or the end of the file (for a pipe: until every writer
    // has closed it). Returns the count read, or -1 with err set on a read error.
    std::ptrdiff_t read(void* buffer, std::size_t n, int& err);

    // Tells the system that a regular file will be read on to its end, so that
    // it reads further ahead of the caller, who works on one block while the
    // system reads the next. A hint: it cannot fail, and does nothing for a pipe
    // or where the system has no such advice.
    void willReadOnward();

    // Closes the file before the object ends, so that an output may replace it
    // (Windows refuses to replace a file that is open). Nothing is lost by a
    // failed close of a file only read.
    void close();

    // The open file's identity, for telling that an output replaces it.
    const std::optional<FileIdentity>& identity() const { return identity_; }

  private:
#if defined(_WIN32)
    void* handle_ = nullptr; // the file's HANDLE; null when none is open
#else
    int fd_ = -1;
    bool regular_ = false; // a regular file, which the system can read ahead
#endif
    std::optional<FileIdentity> identity_;
};

} // namespace mavrel
