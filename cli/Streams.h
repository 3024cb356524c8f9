// Standard input, standard output and FIFOs as the library's input and output.
// The library opens its files by path, so a stream is handed to it under a path
// of its own; on its way the command line counts it, for the progress line, and
// looks at its header, for the warnings it would give about a file. How, on
// each system: Streams_posix.cpp, Streams_win32.cpp.
#pragma once

#include "CliPath.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace wavchorus_cli {

using WarningSink = std::function<void(const std::string&)>;

class InputStream {
  public:
    InputStream();
    InputStream(const InputStream&) = delete;
    InputStream& operator=(const InputStream&) = delete;
    ~InputStream();

    // Opens standard input (fifo null) or the FIFO at *fifo (POSIX), which is
    // read from then on. Warnings about its header and its length go to warn,
    // from any thread. False with error set when it cannot be opened.
    bool open(const CliPath* fifo, WarningSink warn, std::string& error);
    // The path the library reads the stream from.
    const CliPath& path() const { return path_; }
    // Waits until the first 44 bytes have passed, or the stream has ended, and
    // gives what came of them: the header, or less when the stream was shorter.
    std::vector<std::uint8_t> awaitHeader();
    // Once the library has returned, or is not to be called: stops passing the stream on. Returns
    // false with error set when reading the stream failed.
    bool finish(std::string& error);

    // For the progress line, from any thread: the bytes passed on so far, and
    // the input's whole size (44 + the declared data size) once its header has
    // passed, 0 before and once a stream that ended short is being padded.
    std::uint64_t bytesPassed() const { return passed_.load(); }
    std::uint64_t declaredBytes() const { return declared_.load(); }

  private:
    struct Pump;
    CliPath path_;
    std::unique_ptr<Pump> pump_;
    std::atomic<std::uint64_t> passed_{0};
    std::atomic<std::uint64_t> declared_{0};
};

class OutputStream {
  public:
    OutputStream();
    OutputStream(const OutputStream&) = delete;
    OutputStream& operator=(const OutputStream&) = delete;
    ~OutputStream();

    // Takes standard output, as it is now, for the WAV. False with error set.
    bool open(std::string& error);
    // The path the library writes the WAV to.
    const CliPath& path() const { return path_; }
    // Once the library has returned (written: whether it succeeded): the whole
    // WAV has gone to standard output. Returns false with error set when
    // writing standard output failed.
    bool finish(bool written, std::string& error);

  private:
    struct Pump;
    CliPath path_;
    std::unique_ptr<Pump> pump_;
};

#if defined(_WIN32)
// A new, empty file of our own in the temporary directory, for a stream spooled
// through it; false with error set when none can be made.
std::optional<CliPath> temporaryFile(std::string& error);
// Removes a file made by temporaryFile; an empty path is left alone.
void removeFile(const CliPath& path);
#endif

} // namespace wavchorus_cli
