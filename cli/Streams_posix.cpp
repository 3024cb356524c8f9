// POSIX: each stream goes through a pipe of its own, passed on by a thread: the
// library reads the input pipe as /dev/fd/N and writes the output pipe the same
// way (Linux, the BSDs and macOS all have /dev/fd).
#include "Streams.h"

#include "Console.h"
#include "HeaderCheck.h"
#include "Threads.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace wavchorus_cli {
namespace {

constexpr std::size_t kChunk = std::size_t{64} * 1024;

CliPath devFdPath(int fd) {
    // Digits only: always valid UTF-8.
    return *cliPath("/dev/fd/" + std::to_string(fd));
}

} // namespace

struct InputStream::Pump {
    int source = 0;
    bool ownsSource = false;
    int pipe[2] = {-1, -1};
    int stop[2] = {-1, -1}; // written to when the library has returned
    std::thread thread;
    std::uint8_t header[44] = {};
    int readErrno = 0;
    WarningSink warn;
    // The header, or what there was of it, for awaitHeader.
    std::mutex mutex;
    std::condition_variable headerSeen;
    std::size_t headerBytes = 0;
    bool headerDone = false;

    ~Pump() {
        for (const int fd : {pipe[0], pipe[1], stop[0], stop[1]}) {
            console::closeDescriptor(fd);
        }
        if (ownsSource) {
            console::closeDescriptor(source);
        }
    }

    // Waits until the source has something to read, or the library has returned.
    bool waitForSource() const {
        pollfd fds[2] = {{source, POLLIN, 0}, {stop[0], POLLIN, 0}};
        for (;;) {
            const int n = ::poll(fds, 2, -1);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            return n > 0 && fds[1].revents == 0;
        }
    }

    void announceHeader(std::size_t bytes) {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!headerDone) {
            headerBytes = bytes;
            headerDone = true;
            headerSeen.notify_all();
        }
    }

    void run(std::atomic<std::uint64_t>& passed, std::atomic<std::uint64_t>& declared) {
        std::vector<char> buffer(kChunk);
        std::uint64_t total = 0;
        bool ended = false; // the stream itself ended, rather than the library stopped
        for (;;) {
            // Standard input is read as it was handed over, blocking, after a wait
            // that the stop pipe can end. A FIFO of our own is read without
            // blocking, and waited for only when it has a writer but nothing to
            // read: a FIFO that no writer holds reads as its end, where a wait for
            // it could last for ever.
            if (!ownsSource && total > 0 && !waitForSource()) {
                break;
            }
            const std::ptrdiff_t got = console::readSome(source, buffer.data(), buffer.size());
            if (got < 0 && ownsSource && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!waitForSource()) {
                    break;
                }
                continue;
            }
            if (got < 0) {
                readErrno = errno;
                break;
            }
            if (got == 0) {
                ended = true;
                break;
            }
            const auto n = static_cast<std::size_t>(got);
            if (total < sizeof header) {
                const std::size_t take =
                    std::min(n, static_cast<std::size_t>(sizeof header - total));
                std::memcpy(header + total, buffer.data(), take);
                if (total + take == sizeof header) {
                    declared.store(
                        44 + static_cast<std::uint64_t>(mavrel::readWaveHeader(header).dataBytes));
                    if (std::optional<std::string> layout = layoutWarning(header)) {
                        warn(*layout);
                    }
                    announceHeader(sizeof header);
                }
            }
            total += n;
            // The library stops reading when it fails: the rest is not wanted.
            if (!console::writeAll(pipe[1], buffer.data(), n)) {
                break;
            }
            passed.store(total);
        }
        console::closeDescriptor(pipe[1]);
        pipe[1] = -1;
        // While the library pads a stream that ended short, the time left is
        // not known.
        if (ended && total < declared.load()) {
            declared.store(0);
        }
        announceHeader(static_cast<std::size_t>(std::min<std::uint64_t>(total, sizeof header)));
        // A stream that the library stopped reading (its output failed) was not
        // short: the library says what failed.
        if (ended && total >= sizeof header) {
            if (std::optional<std::string> shortfall = shortfallWarning(header, total, true)) {
                warn(*shortfall);
            }
        }
    }
};

InputStream::InputStream() = default;

InputStream::~InputStream() {
    std::string ignored;
    (void)finish(ignored);
}

bool InputStream::open(const CliPath* fifo, WarningSink warn, std::string& error) {
    pump_ = std::make_unique<Pump>();
    pump_->warn = std::move(warn);
    if (fifo != nullptr) {
        // Without O_NONBLOCK the open would wait for a writer.
        pump_->source = ::open(fifo->native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (pump_->source < 0) {
            error = console::lastErrorText();
            return false;
        }
        pump_->ownsSource = true;
    }
    if (!console::makePipe(pump_->pipe) || !console::makePipe(pump_->stop)) {
        error = console::lastErrorText();
        return false;
    }
    path_ = devFdPath(pump_->pipe[0]);
    Pump& pump = *pump_;
    pump.thread =
        startHelperThread([&pump, this] { pump.run(passed_, declared_); }, PipeSignal::block);
    return true;
}

std::vector<std::uint8_t> InputStream::awaitHeader() {
    std::unique_lock<std::mutex> lock(pump_->mutex);
    pump_->headerSeen.wait(lock, [this] { return pump_->headerDone; });
    return {pump_->header, pump_->header + pump_->headerBytes};
}

bool InputStream::finish(std::string& error) {
    if (!pump_) {
        return true;
    }
    // The library has closed its end; closing ours lets a write to the pipe fail
    // at once, and the byte on the stop pipe ends a wait for the source.
    console::closeDescriptor(pump_->pipe[0]);
    pump_->pipe[0] = -1;
    if (pump_->stop[1] >= 0) {
        (void)console::writeAll(pump_->stop[1], "x", 1);
    }
    if (pump_->thread.joinable()) {
        pump_->thread.join();
    }
    const int readErrno = pump_->readErrno;
    pump_.reset();
    if (readErrno != 0) {
        error = std::strerror(readErrno);
        return false;
    }
    return true;
}

struct OutputStream::Pump {
    int target = -1; // standard output as it was
    int pipe[2] = {-1, -1};
    std::thread thread;
    int writeErrno = 0;

    ~Pump() {
        for (const int fd : {target, pipe[0], pipe[1]}) {
            console::closeDescriptor(fd);
        }
    }

    void run() {
        std::vector<char> buffer(kChunk);
        for (;;) {
            const std::ptrdiff_t got = console::readSome(pipe[0], buffer.data(), buffer.size());
            if (got <= 0) {
                break;
            }
            // After a failed write the rest is read and dropped, so that the
            // library finishes rather than fail on a pipe with no reader.
            if (writeErrno == 0 &&
                !console::writeAll(target, buffer.data(), static_cast<std::size_t>(got))) {
                writeErrno = errno;
            }
        }
    }
};

OutputStream::OutputStream() = default;

OutputStream::~OutputStream() {
    std::string ignored;
    (void)finish(false, ignored);
}

bool OutputStream::open(std::string& error) {
    pump_ = std::make_unique<Pump>();
    pump_->target = console::duplicate(1);
    if (pump_->target < 0 || !console::makePipe(pump_->pipe)) {
        error = console::lastErrorText();
        return false;
    }
    path_ = devFdPath(pump_->pipe[1]);
    Pump& pump = *pump_;
    // A standard output whose reader has gone ends the process, as for any filter.
    pump.thread = startHelperThread([&pump] { pump.run(); }, PipeSignal::deliver);
    return true;
}

bool OutputStream::finish(bool /*written*/, std::string& error) {
    if (!pump_) {
        return true;
    }
    // The library has closed its end; with ours closed the pipe ends.
    console::closeDescriptor(pump_->pipe[1]);
    pump_->pipe[1] = -1;
    if (pump_->thread.joinable()) {
        pump_->thread.join();
    }
    const int writeErrno = pump_->writeErrno;
    pump_.reset();
    if (writeErrno != 0) {
        error = std::strerror(writeErrno);
        return false;
    }
    return true;
}

} // namespace wavchorus_cli
