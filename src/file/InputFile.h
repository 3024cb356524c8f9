// The input stream: a regular file read in blocks.
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
    ~InputFile();

    enum class OpenStatus { ok, cannotOpen, notRegularFile };
    // Opens path for reading. A FIFO or device is refused without blocking.
    // On failure, err holds the system's error code (errno, or GetLastError on
    // Windows; 0 when the system gave none).
    OpenStatus open(const std::string& path, int& err);

    // Reads until n bytes or the end of the file. Returns the count read, or -1
    // with err set on a read error.
    std::ptrdiff_t read(void* buffer, std::size_t n, int& err);

    // Closes the file before the object ends, so that an output may replace it
    // (Windows refuses to replace a file that is open). Nothing is lost by a
    // failed close of a file only read.
    void close();

    // The open file's identity, for telling that an output replaces it.
    const FileIdentity& identity() const { return identity_; }

  private:
#if defined(_WIN32)
    void* handle_ = nullptr; // the file's HANDLE; null when none is open
#else
    int fd_ = -1;
#endif
    FileIdentity identity_;
};

} // namespace mavrel
