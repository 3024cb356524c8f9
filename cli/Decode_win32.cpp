// Windows has no /dev/fd: a decoded input is written whole, as the canonical
// WAV, into a temporary file before the library reads it (so a decoding error
// is found before any output is touched), and the library writes an output in
// another container into one that is then encoded and copied into place.
#include "DecodeParts.h"

#include "Console.h"
#include "FileIdentity.h"
#include "OutputFile.h"
#include "PathConversion.h"
#include "Streams.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace wavchorus_cli {
namespace {

constexpr std::size_t kChunk = std::size_t{64} * 1024;

int openFile(const CliPath& path, int flags) {
    return ::_wopen(path.native.c_str(), flags | _O_BINARY);
}

} // namespace

struct DecodedInput::State {
    CliPath spool; // the canonical WAV the library reads

    ~State() { removeFile(spool); }
};

DecodedInput::DecodedInput() = default;

DecodedInput::~DecodedInput() = default;

bool DecodedInput::open(const std::filesystem::path& path, std::string& error) {
    reader_ = std::make_unique<SoundReader>();
    SF_INFO info{};
    SNDFILE* file = sf_wchar_open(path.c_str(), SFM_READ, &info);
    return kept(reader_->take(file, info, error));
}

bool DecodedInput::start(std::string& error) {
    state_ = std::make_unique<State>();
    State& s = *state_;
    std::optional<CliPath> spool = temporaryFile(error);
    if (!spool) {
        return false;
    }
    s.spool = std::move(*spool);
    const int out = openFile(s.spool, _O_WRONLY | _O_TRUNC);
    if (out < 0) {
        error = console::lastErrorText();
        return false;
    }
    std::span<const std::uint8_t> bytes = reader_->header();
    bool ok = true;
    do {
        if (!console::writeAll(out, bytes.data(), bytes.size())) {
            error = "cannot write " + s.spool.shown + ": " + console::lastErrorText();
            ok = false;
            break;
        }
    } while (reader_->next(bytes, error));
    if (::_close(out) != 0 && ok) {
        error = "cannot write " + s.spool.shown + ": " + console::lastErrorText();
        ok = false;
    }
    path_ = s.spool;
    return ok && error.empty();
}

bool DecodedInput::finish(std::string& /*error*/) {
    reader_.reset();
    state_.reset();
    return true;
}

struct EncodedOutput::State {
    Container container = Container::wav;
    CliPath target;
    std::optional<mavrel::FileIdentity> input;
    CliPath written; // the library's WAV
    CliPath encoded;

    ~State() {
        removeFile(written);
        removeFile(encoded);
    }

    bool encode(std::string& why) {
        std::optional<CliPath> spool = temporaryFile(why);
        if (!spool) {
            return false;
        }
        encoded = std::move(*spool);
        const int from = openFile(written, _O_RDONLY);
        const int to = openFile(encoded, _O_RDWR | _O_TRUNC);
        bool ok = from >= 0 && to >= 0;
        if (!ok) {
            why = console::lastErrorText();
        }
        SoundWriter writer;
        writer.start(to, container);
        std::vector<std::uint8_t> buffer(kChunk);
        while (ok) {
            const std::ptrdiff_t got = console::readSome(from, buffer.data(), buffer.size());
            if (got < 0) {
                why = console::lastErrorText();
                ok = false;
            }
            if (got <= 0) {
                break;
            }
            writer.write(buffer.data(), static_cast<std::size_t>(got));
        }
        std::string writeError;
        if (!writer.close(writeError) && ok) {
            why = writeError;
            ok = false;
        }
        ok = ok && copyInPlace(to, why);
        if (from >= 0) {
            (void)::_close(from);
        }
        if (to >= 0) {
            (void)::_close(to);
        }
        return ok;
    }

    // The encoded file into place, as the library places its own output.
    bool copyInPlace(int from, std::string& why) const {
        if (::_lseek(from, 0, SEEK_SET) != 0) {
            why = console::lastErrorText();
            return false;
        }
        mavrel::OutputFile out;
        int err = 0;
        const auto failed = [&why, &err] {
            why = "error " + std::to_string(err);
            return false;
        };
        // The file layer takes UTF-8 paths, as the library hands them on.
        if (!out.create(target.shown, err, input)) {
            return failed();
        }
        std::vector<char> buffer(kChunk);
        for (;;) {
            const std::ptrdiff_t got = console::readSome(from, buffer.data(), buffer.size());
            if (got < 0) {
                why = console::lastErrorText();
                return false;
            }
            if (got == 0) {
                break;
            }
            if (!out.write(buffer.data(), static_cast<std::size_t>(got), err)) {
                return failed();
            }
        }
        return out.commit(err) || failed();
    }
};

EncodedOutput::EncodedOutput() = default;

EncodedOutput::~EncodedOutput() = default;

bool EncodedOutput::open(const CliPath& output, Container container, const CliPath* input,
                         std::string& error) {
    state_ = std::make_unique<State>();
    State& s = *state_;
    s.container = container;
    s.target = output;
    s.input = input != nullptr ? mavrel::identityOf(input->native) : std::nullopt;
    // A decoded input is complete before the call: the library writes a WAV
    // in place itself.
    if (container == Container::wav) {
        path_ = output;
        return true;
    }
    std::optional<CliPath> spool = temporaryFile(error);
    if (!spool) {
        return false;
    }
    s.written = std::move(*spool);
    path_ = s.written;
    return true;
}

bool EncodedOutput::finish(bool written, std::string& error) {
    if (!state_) {
        return true;
    }
    const std::unique_ptr<State> s = std::move(state_);
    if (!written || s->container == Container::wav) {
        return true;
    }
    return s->encode(error);
}

int spoolStream(const CliPath& stream, std::string& error) {
    // Standard input is in a temporary file already (Streams_win32.cpp), which
    // goes with the stream: copied into one that goes with its last descriptor.
    std::optional<CliPath> spool = temporaryFile(error);
    if (!spool) {
        return -1;
    }
    const int from = openFile(stream, _O_RDONLY);
    const int fd = openFile(*spool, _O_RDWR | _O_TRUNC | _O_TEMPORARY);
    bool ok = from >= 0 && fd >= 0;
    std::vector<char> buffer(kChunk);
    while (ok) {
        const std::ptrdiff_t got = console::readSome(from, buffer.data(), buffer.size());
        if (got == 0) {
            break;
        }
        ok = got > 0 && console::writeAll(fd, buffer.data(), static_cast<std::size_t>(got));
    }
    ok = ok && ::_lseek(fd, 0, SEEK_SET) == 0;
    if (!ok) {
        error = console::lastErrorText();
    }
    if (from >= 0) {
        (void)::_close(from);
    }
    if (!ok && fd >= 0) {
        (void)::_close(fd);
    }
    if (fd < 0) {
        removeFile(*spool);
    }
    return ok ? fd : -1;
}

} // namespace wavchorus_cli
