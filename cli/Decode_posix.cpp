// POSIX: each stream goes through a pipe of its own, which the library opens as
// /dev/fd/N, fed or drained by a thread as the library goes; the decoded input
// is never whole in memory or on disk. An encoded output is spooled into an
// unnamed temporary file, which the encoder seeks in, and copied into place.
#include "DecodeParts.h"

#include "Console.h"
#include "FileIdentity.h"
#include "OutputFile.h"
#include "Threads.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace wavchorus_cli {
namespace {

CliPath devFdPath(int fd) {
    // Digits only: always valid UTF-8.
    return *cliPath("/dev/fd/" + std::to_string(fd));
}

std::optional<mavrel::FileIdentity> fileIdentity(const CliPath* path) {
    return path != nullptr ? mavrel::identityOf(path->native) : std::nullopt;
}

// A pipe of 64 KiB, the usual size, holds a quarter of one of the library's
// blocks, so the two sides take turns rather than work at once. Linux lets a
// pipe hold more (F_SETPIPE_SZ, its own; 1 MiB is what an unprivileged process
// may ask for): then the decoder stays blocks ahead of the library, and the
// library ahead of the writer. Elsewhere, or when refused, the pipe keeps its
// size and the work its turns.
void widenPipe([[maybe_unused]] int fd) {
#if defined(F_SETPIPE_SZ)
    (void)::fcntl(fd, F_SETPIPE_SZ, 1 << 20);
#endif
}

} // namespace

struct DecodedInput::State {
    SoundReader* reader = nullptr;
    int pipe[2] = {-1, -1};
    std::thread thread;
    std::string readError;

    ~State() {
        if (thread.joinable()) {
            thread.join();
        }
        for (const int fd : pipe) {
            console::closeDescriptor(fd);
        }
    }

    void run() {
        std::span<const std::uint8_t> bytes = reader->header();
        // The library stops reading when it fails: the rest is not wanted.
        while (console::writeAll(pipe[1], bytes.data(), bytes.size()) &&
               reader->next(bytes, readError)) {
        }
        console::closeDescriptor(pipe[1]);
        pipe[1] = -1;
    }
};

DecodedInput::DecodedInput() = default;

DecodedInput::~DecodedInput() {
    std::string ignored;
    (void)finish(ignored);
}

bool DecodedInput::open(const std::filesystem::path& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    return openDescriptor(fd, error);
}

bool DecodedInput::start(std::string& error) {
    state_ = std::make_unique<State>();
    State& s = *state_;
    s.reader = reader_.get();
    if (!console::makePipe(s.pipe)) {
        error = console::lastErrorText();
        return false;
    }
    widenPipe(s.pipe[1]);
    path_ = devFdPath(s.pipe[0]);
    s.thread = startHelperThread([&s] { s.run(); }, PipeSignal::block);
    return true;
}

bool DecodedInput::finish(std::string& error) {
    std::string readError;
    if (state_) {
        // The library has closed its end; closing ours lets a write to the pipe
        // fail.
        console::closeDescriptor(state_->pipe[0]);
        state_->pipe[0] = -1;
        if (state_->thread.joinable()) {
            state_->thread.join();
        }
        readError = state_->readError;
        state_.reset();
    }
    reader_.reset();
    if (!readError.empty()) {
        error = readError;
        return false;
    }
    return true;
}

struct EncodedOutput::State {
    Container container = Container::wav;
    std::string target;
    std::optional<mavrel::FileIdentity> input;
    std::FILE* spool = nullptr; // the encoded file, unnamed
    SoundWriter writer;
    mavrel::OutputFile direct; // a WAV: the library's bytes, written as they come
    int pipe[2] = {-1, -1};
    std::thread thread;
    std::string error;

    ~State() {
        if (thread.joinable()) {
            thread.join();
        }
        for (const int fd : {pipe[0], pipe[1]}) {
            console::closeDescriptor(fd);
        }
        if (spool != nullptr) {
            (void)std::fclose(spool);
        }
    }

    // Reads the library's WAV from the pipe to its end; after a failure the
    // rest is read and dropped, so that the library finishes.
    void run() {
        std::vector<std::uint8_t> buffer(std::size_t{64} * 1024);
        if (container != Container::wav) {
            writer.start(fileno(spool), container);
        }
        for (;;) {
            const std::ptrdiff_t got = console::readSome(pipe[0], buffer.data(), buffer.size());
            if (got <= 0) {
                break;
            }
            const auto n = static_cast<std::size_t>(got);
            int err = 0;
            if (container != Container::wav) {
                writer.write(buffer.data(), n);
            } else if (error.empty() && !direct.write(buffer.data(), n, err)) {
                error = std::strerror(err);
            }
        }
        if (container != Container::wav) {
            (void)writer.close(error);
        }
    }

    // Puts the output in place, as the library places its own: a WAV as it was
    // written, another container copied from the encoded file.
    bool commit(std::string& why) {
        int err = 0;
        if (container == Container::wav) {
            if (!direct.commit(err)) {
                why = std::strerror(err);
                return false;
            }
            return true;
        }
        if (std::fflush(spool) != 0 || ::lseek(fileno(spool), 0, SEEK_SET) != 0) {
            why = std::strerror(errno);
            return false;
        }
        mavrel::OutputFile out;
        if (!out.create(target, err, input)) {
            why = std::strerror(err);
            return false;
        }
        std::vector<char> buffer(std::size_t{64} * 1024);
        for (;;) {
            const std::ptrdiff_t got =
                console::readSome(fileno(spool), buffer.data(), buffer.size());
            if (got < 0) {
                why = std::strerror(errno);
                return false;
            }
            if (got == 0) {
                break;
            }
            if (!out.write(buffer.data(), static_cast<std::size_t>(got), err)) {
                why = std::strerror(err);
                return false;
            }
        }
        if (!out.commit(err)) {
            why = std::strerror(err);
            return false;
        }
        return true;
    }
};

EncodedOutput::EncodedOutput() = default;

EncodedOutput::~EncodedOutput() {
    std::string ignored;
    (void)finish(false, ignored);
}

bool EncodedOutput::open(const CliPath& output, Container container, const CliPath* input,
                         std::string& error) {
    state_ = std::make_unique<State>();
    State& s = *state_;
    s.container = container;
    s.target = output.native.string();
    s.input = fileIdentity(input);
    int err = 0;
    if (container == Container::wav ? !s.direct.create(s.target, err, s.input)
                                    : (s.spool = std::tmpfile()) == nullptr) {
        error = container == Container::wav ? std::strerror(err) : console::lastErrorText();
        return false;
    }
    if (!console::makePipe(s.pipe)) {
        error = console::lastErrorText();
        return false;
    }
    widenPipe(s.pipe[1]);
    path_ = devFdPath(s.pipe[1]);
    s.thread = startHelperThread([&s] { s.run(); }, PipeSignal::block);
    return true;
}

bool EncodedOutput::finish(bool written, std::string& error) {
    if (!state_) {
        return true;
    }
    // The library has closed its end; with ours closed the pipe ends.
    console::closeDescriptor(state_->pipe[1]);
    state_->pipe[1] = -1;
    if (state_->thread.joinable()) {
        state_->thread.join();
    }
    const std::unique_ptr<State> s = std::move(state_);
    if (!written) {
        return true;
    }
    if (!s->error.empty()) {
        error = s->error;
        return false;
    }
    return s->commit(error);
}

int spoolStream(const CliPath& stream, std::string& error) {
    std::FILE* spool = std::tmpfile();
    const int source = ::open(stream.native.c_str(), O_RDONLY | O_CLOEXEC);
    int fd = -1;
    if (spool != nullptr && source >= 0) {
        fd = ::fcntl(fileno(spool), F_DUPFD_CLOEXEC, 0);
    }
    bool ok = fd >= 0;
    std::vector<char> buffer(std::size_t{64} * 1024);
    while (ok) {
        const std::ptrdiff_t got = console::readSome(source, buffer.data(), buffer.size());
        if (got == 0) {
            break;
        }
        ok = got > 0 && console::writeAll(fd, buffer.data(), static_cast<std::size_t>(got));
    }
    if (!ok || ::lseek(fd, 0, SEEK_SET) != 0) {
        error = console::lastErrorText();
        console::closeDescriptor(fd);
        fd = -1;
    }
    console::closeDescriptor(source);
    if (spool != nullptr) {
        (void)std::fclose(spool);
    }
    return fd;
}

} // namespace wavchorus_cli
