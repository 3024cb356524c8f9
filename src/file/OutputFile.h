// The output stream. A regular file is written to a temporary file beside it and
// renamed over it only once complete, so a failed call never leaves a half-written
// file in its place and an existing output survives. Anything else (a pipe, a
// terminal, /dev/null, NUL) is written directly.
#pragma once

#include <cstddef>
#include <string>

namespace mavrel {

class OutputFile {
  public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Closes and removes an uncommitted temporary file.
    ~OutputFile();

    // On failure returns false with err set to the system's error code (errno,
    // or GetLastError on Windows).
    bool create(const std::string& path, int& err);
    bool write(const void* data, std::size_t n, int& err);
    // Asks the system to start putting what is written so far on storage, and
    // does not wait for it: a long output then goes to the disk while the call
    // goes on, not all at once when it takes its place. A hint; it cannot fail.
    void startWriteback();
    // Closes the file and puts it in place of the output.
    bool commit(int& err);

  private:
#if defined(_WIN32)
    void* handle_ = nullptr; // the file's HANDLE; null when none is open
#else
    int fd_ = -1;
#endif
    std::string target_;   // the file that the output replaces
    std::string tempPath_; // empty when writing directly
};

} // namespace mavrel
