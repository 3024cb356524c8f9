// The input stream: a regular file read in blocks.
#pragma once

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
    // On failure, err holds the errno value (0 when the OS gave none).
    OpenStatus open(const std::string& path, int& err);

    // Reads until n bytes or the end of the file. Returns the count read, or -1
    // with err set on a read error.
    std::ptrdiff_t read(void* buffer, std::size_t n, int& err);

  private:
    int fd_ = -1;
};

} // namespace mavrel
