// Decoding and encoding through libsndfile. The library reads and writes its
// streams by path: each goes through a pipe of its own, which the library opens
// as /dev/fd/N, fed or drained by a thread (POSIX; a build without libsndfile,
// or for Windows, has only the canonical layout).
#include "Decode.h"

#include "HeaderCheck.h"
#include "WaveHeader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <fstream>

#if defined(MAVREL_WAVCHORUS_SNDFILE) && !defined(_WIN32)
#define MAVREL_DECODES 1
#include "Console.h"
#include "OutputFile.h"
#include "Threads.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#endif

namespace wavchorus_cli {
namespace {

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8U |
           static_cast<std::uint32_t>(p[2]) << 16U | static_cast<std::uint32_t>(p[3]) << 24U;
}

std::string lowerExtension(const std::string& name) {
    const std::string file = fileNameOf(name);
    const std::size_t dot = file.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return "";
    }
    std::string ext = file.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

} // namespace

bool inLibraryLayout(const std::vector<std::uint8_t>& firstBytes,
                     std::optional<std::uint64_t> size) {
    if (firstBytes.size() < mavrel::kHeaderBytes) {
        return true;
    }
    std::uint8_t header[mavrel::kHeaderBytes];
    std::memcpy(header, firstBytes.data(), sizeof header);
    if (!canonicalLayoutFindings(header).empty()) {
        return false;
    }
    return !size || *size - mavrel::kHeaderBytes <= le32(header + 40);
}

std::optional<std::vector<std::uint8_t>> firstBytesOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(mavrel::kHeaderBytes);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) {
        return std::nullopt;
    }
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

std::optional<Container> containerFor(const std::string& name) {
    if (name == "-") {
        return Container::wav;
    }
    const std::string ext = lowerExtension(name);
    if (ext.empty() || ext == "wav") {
        return Container::wav;
    }
    if (ext == "flac") {
        return Container::flac;
    }
    if (ext == "aiff" || ext == "aif") {
        return Container::aiff;
    }
    if (ext == "ogg") {
        return Container::ogg;
    }
    if (ext == "opus") {
        return Container::opus;
    }
    if (ext == "mp3") {
        return Container::mp3;
    }
    return std::nullopt;
}

std::string unknownContainerText(const std::string& name) {
    return "'" + name + "': unknown output type '." + lowerExtension(name) +
           "'; give .wav, .flac, .aiff, .aif, .ogg, .opus or .mp3";
}

StreamWarnings::StreamWarnings(std::function<void(const std::string&)> to)
    : to_(std::move(to)), sink_([this](const std::string& text) {
          const std::lock_guard<std::mutex> lock(mutex_);
          if (mode_ == Mode::passed) {
              to_(text);
          } else if (mode_ == Mode::held) {
              held_.push_back(text);
          }
      }) {}

void StreamWarnings::pass() {
    const std::lock_guard<std::mutex> lock(mutex_);
    mode_ = Mode::passed;
    for (const std::string& text : held_) {
        to_(text);
    }
    held_.clear();
}

void StreamWarnings::drop() {
    const std::lock_guard<std::mutex> lock(mutex_);
    mode_ = Mode::dropped;
    held_.clear();
}

std::string cannotDecodeReason() {
    return "not the canonical 16-bit PCM WAV layout, and this build of wavchorus cannot decode "
           "other files (it was built without libsndfile); --raw reads it at fixed offsets as "
           "the library does";
}

#if MAVREL_DECODES

namespace {

constexpr sf_count_t kBlockFrames = 4096;

CliPath devFdPath(int fd) {
    return *cliPath("/dev/fd/" + std::to_string(fd));
}

bool integerSubtype(int subtype) {
    switch (subtype) {
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_VORBIS:
    case SF_FORMAT_OPUS:
    case SF_FORMAT_MPEG_LAYER_I:
    case SF_FORMAT_MPEG_LAYER_II:
    case SF_FORMAT_MPEG_LAYER_III:
        return false;
    default:
        return true;
    }
}

std::string subtypeText(int subtype) {
    switch (subtype) {
    case SF_FORMAT_PCM_S8:
        return "8-bit PCM";
    case SF_FORMAT_PCM_U8:
        return "8-bit unsigned PCM";
    case SF_FORMAT_PCM_16:
        return "16-bit PCM";
    case SF_FORMAT_PCM_24:
        return "24-bit PCM";
    case SF_FORMAT_PCM_32:
        return "32-bit PCM";
    case SF_FORMAT_FLOAT:
        return "32-bit float";
    case SF_FORMAT_DOUBLE:
        return "64-bit float";
    case SF_FORMAT_ULAW:
        return "µ-law";
    case SF_FORMAT_ALAW:
        return "A-law";
    case SF_FORMAT_VORBIS:
        return "Vorbis";
    case SF_FORMAT_OPUS:
        return "Opus";
    case SF_FORMAT_MPEG_LAYER_I:
    case SF_FORMAT_MPEG_LAYER_II:
    case SF_FORMAT_MPEG_LAYER_III:
        return "MPEG audio";
    default: {
        SF_FORMAT_INFO info{};
        info.format = subtype;
        if (sf_command(nullptr, SFC_GET_FORMAT_SUBTYPE, &info, sizeof info) == 0 &&
            info.name != nullptr) {
            return info.name;
        }
        return "encoding " + std::to_string(subtype);
    }
    }
}

std::string containerText(int major) {
    switch (major) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
        return "";
    case SF_FORMAT_RF64:
        return "RF64";
    case SF_FORMAT_W64:
        return "W64";
    case SF_FORMAT_AIFF:
        return "AIFF";
    case SF_FORMAT_FLAC:
        return "FLAC";
    case SF_FORMAT_OGG:
        return "Ogg";
    case SF_FORMAT_MPEG:
        return "MP3";
    default: {
        SF_FORMAT_INFO info{};
        info.format = major;
        if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) == 0 &&
            info.name != nullptr) {
            return info.name;
        }
        return "";
    }
    }
}

// libsndfile's text ends with a full stop; a message of ours goes on after it.
std::string reasonOf(SNDFILE* file) {
    std::string text = sf_strerror(file);
    while (!text.empty() && (text.back() == '.' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

// The 16-bit value of an integer sample as libsndfile gives it, left-justified
// in 32 bits: its top 16 bits.
std::int16_t fromInt(int v) {
    return static_cast<std::int16_t>(v >> 16);
}

std::int16_t fromDouble(double v) {
    const double scaled = std::nearbyint(v * 32768.0);
    return static_cast<std::int16_t>(std::clamp(scaled, -32768.0, 32767.0));
}

} // namespace

struct DecodedInput::State {
    SNDFILE* file = nullptr;
    SF_INFO info{};
    int ownedFd = -1;
    sf_count_t frames = 0; // what the header declares, and what is written
    int pipe[2] = {-1, -1};
    std::thread thread;
    std::string readError;

    ~State() {
        if (thread.joinable()) {
            thread.join();
        }
        if (file != nullptr) {
            sf_close(file);
        }
        for (const int fd : {pipe[0], pipe[1], ownedFd}) {
            console::closeDescriptor(fd);
        }
    }

    void run(const std::vector<std::uint8_t>& header) {
        if (!console::writeAll(pipe[1], header.data(), header.size())) {
            return;
        }
        const auto channels = static_cast<std::size_t>(info.channels);
        const bool integer = integerSubtype(info.format & SF_FORMAT_SUBMASK);
        std::vector<int> ints(integer ? static_cast<std::size_t>(kBlockFrames) * channels : 0);
        std::vector<double> doubles(integer ? 0
                                            : static_cast<std::size_t>(kBlockFrames) * channels);
        std::vector<std::int16_t> out(static_cast<std::size_t>(kBlockFrames) * channels);
        for (sf_count_t done = 0; done < frames;) {
            const sf_count_t want = std::min(kBlockFrames, frames - done);
            const sf_count_t got = integer ? sf_readf_int(file, ints.data(), want)
                                           : sf_readf_double(file, doubles.data(), want);
            if (got < want && sf_error(file) != SF_ERR_NO_ERROR) {
                readError = reasonOf(file);
                break;
            }
            const auto values = static_cast<std::size_t>(got) * channels;
            for (std::size_t k = 0; k < values; ++k) {
                out[k] = integer ? fromInt(ints[k]) : fromDouble(doubles[k]);
            }
            // Fewer frames than the file's count (a lossy stream's count is the
            // decoder's estimate): silence to the count the header gives.
            const std::size_t whole = static_cast<std::size_t>(want) * channels;
            std::fill(out.begin() + static_cast<std::ptrdiff_t>(values),
                      out.begin() + static_cast<std::ptrdiff_t>(whole), std::int16_t{0});
            // Little-endian, as the WAV has it.
            std::vector<std::uint8_t> bytes(whole * 2);
            for (std::size_t k = 0; k < whole; ++k) {
                const auto u = static_cast<std::uint16_t>(out[k]);
                bytes[2 * k] = static_cast<std::uint8_t>(u & 0xFFU);
                bytes[2 * k + 1] = static_cast<std::uint8_t>(u >> 8U);
            }
            // The library stops reading when it fails: the rest is not wanted.
            if (!console::writeAll(pipe[1], bytes.data(), bytes.size())) {
                break;
            }
            done += want;
        }
        console::closeDescriptor(pipe[1]);
        pipe[1] = -1;
    }
};

bool canDecode() {
    return true;
}

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

bool DecodedInput::openDescriptor(int fd, std::string& error) {
    state_ = std::make_unique<State>();
    State& s = *state_;
    s.ownedFd = fd;
    s.file = sf_open_fd(fd, SFM_READ, &s.info, SF_FALSE);
    if (s.file == nullptr) {
        error = reasonOf(nullptr);
        return false;
    }
    const int subtype = s.info.format & SF_FORMAT_SUBMASK;
    const std::string container = containerText(s.info.format & SF_FORMAT_TYPEMASK);
    description_ = (container.empty() ? "" : container + ", ") + subtypeText(subtype) +
                   (subtype == SF_FORMAT_PCM_16 ? ", decoded" : ", converted to 16-bit");
    if (s.info.channels <= 0 || s.info.channels > 0xFFFF) {
        error = "it has " + std::to_string(s.info.channels) + " channels";
        return false;
    }
    if (s.info.frames < 0) {
        error = "its length is unknown";
        return false;
    }
    // The canonical header declares the data size in 32 bits.
    const auto frameBytes = static_cast<std::uint64_t>(s.info.channels) * 2U;
    if (static_cast<std::uint64_t>(s.info.frames) > 0xFFFFFFFFU / frameBytes) {
        error = "its " + std::to_string(s.info.frames) +
                " frames at 16 bits exceed the 4 GiB that a WAV's data can hold";
        return false;
    }
    s.frames = s.info.frames;
    mavrel::WaveInfo wave;
    wave.channels = static_cast<std::uint16_t>(s.info.channels);
    wave.sampleRate = s.info.samplerate;
    wave.dataBytes = static_cast<std::uint32_t>(static_cast<std::uint64_t>(s.frames) * frameBytes);
    wave.sampleNumber = static_cast<std::uint32_t>(s.frames);
    const auto header = mavrel::makeOutputHeader(wave);
    header_.assign(header.begin(), header.end());
    return true;
}

bool DecodedInput::start(std::string& error) {
    State& s = *state_;
    if (!console::makePipe(s.pipe)) {
        error = console::lastErrorText();
        return false;
    }
    path_ = devFdPath(s.pipe[0]);
    s.thread = startHelperThread([&s, this] { s.run(header_); }, PipeSignal::block);
    return true;
}

bool DecodedInput::finish(std::string& error) {
    if (!state_) {
        return true;
    }
    // The library has closed its end; closing ours lets a write to the pipe fail.
    console::closeDescriptor(state_->pipe[0]);
    state_->pipe[0] = -1;
    if (state_->thread.joinable()) {
        state_->thread.join();
    }
    const std::string readError = state_->readError;
    state_.reset();
    if (!readError.empty()) {
        error = readError;
        return false;
    }
    return true;
}

struct EncodedOutput::State {
    Container container = Container::wav;
    std::string target;
    mavrel::FileIdentity input;
    std::FILE* spool = nullptr; // the encoded file, unnamed
    mavrel::OutputFile direct;  // a WAV: the library's bytes, written as they come
    std::vector<float> floats;
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

    int format() const {
        switch (container) {
        case Container::flac:
            return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        case Container::aiff:
            return SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
        case Container::ogg:
            return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
        case Container::opus:
            return SF_FORMAT_OGG | SF_FORMAT_OPUS;
        case Container::mp3:
            return SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
        case Container::wav:
            break;
        }
        return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    }

    // The lossy encoders take floats (v / 32768, exact): libsndfile 1.2's MP3
    // encoder garbles half of a stereo stream written as shorts.
    sf_count_t writeFrames(SNDFILE* file, const std::vector<std::int16_t>& values,
                           sf_count_t frames) {
        if (container == Container::flac || container == Container::aiff) {
            return sf_writef_short(file, values.data(), frames);
        }
        floats.resize(values.size());
        std::transform(values.begin(), values.end(), floats.begin(),
                       [](std::int16_t v) { return static_cast<float>(v) / 32768.0F; });
        return sf_writef_float(file, floats.data(), frames);
    }

    // Reads the library's WAV from the pipe to its end and encodes its samples;
    // after a failure the rest is read and dropped, so that the library finishes.
    void run() {
        if (container == Container::wav) {
            copy();
            return;
        }
        std::vector<std::uint8_t> buffer(std::size_t{64} * 1024);
        std::array<std::uint8_t, mavrel::kHeaderBytes> header{};
        std::size_t headerBytes = 0;
        SNDFILE* file = nullptr;
        std::size_t frameBytes = 0;
        std::vector<std::uint8_t> pending; // a frame's bytes split between reads
        std::vector<std::int16_t> values;
        for (;;) {
            const std::ptrdiff_t got = console::readSome(pipe[0], buffer.data(), buffer.size());
            if (got <= 0) {
                break;
            }
            std::size_t at = 0;
            const auto n = static_cast<std::size_t>(got);
            if (headerBytes < header.size()) {
                const std::size_t take = std::min(n, header.size() - headerBytes);
                std::memcpy(header.data() + headerBytes, buffer.data(), take);
                headerBytes += take;
                at = take;
                if (headerBytes == header.size() && error.empty()) {
                    const mavrel::WaveInfo wave = mavrel::readWaveHeader(header);
                    SF_INFO info{};
                    info.channels = wave.channels;
                    info.samplerate = wave.sampleRate;
                    info.format = format();
                    file = sf_open_fd(fileno(spool), SFM_WRITE, &info, SF_FALSE);
                    if (file == nullptr) {
                        error = reasonOf(nullptr);
                    }
                    frameBytes = std::size_t{2} * wave.channels;
                }
            }
            if (file == nullptr || !error.empty()) {
                continue;
            }
            pending.insert(pending.end(), buffer.begin() + static_cast<std::ptrdiff_t>(at),
                           buffer.begin() + static_cast<std::ptrdiff_t>(n));
            const std::size_t whole = pending.size() / frameBytes * frameBytes;
            values.resize(whole / 2);
            for (std::size_t k = 0; k < values.size(); ++k) {
                values[k] = static_cast<std::int16_t>(
                    static_cast<std::uint16_t>(pending[2 * k] | pending[2 * k + 1] << 8U));
            }
            const auto frames = static_cast<sf_count_t>(whole / frameBytes);
            if (writeFrames(file, values, frames) != frames) {
                error = reasonOf(file);
            }
            pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(whole));
        }
        if (file != nullptr) {
            if (sf_close(file) != 0 && error.empty()) {
                error = reasonOf(nullptr);
            }
        } else if (error.empty()) {
            error = "the library wrote no WAV header";
        }
    }

    void copy() {
        std::vector<char> buffer(std::size_t{64} * 1024);
        for (;;) {
            const std::ptrdiff_t got = console::readSome(pipe[0], buffer.data(), buffer.size());
            if (got <= 0) {
                break;
            }
            int err = 0;
            if (error.empty() && !direct.write(buffer.data(), static_cast<std::size_t>(got), err)) {
                error = std::strerror(err);
            }
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
    struct stat st {};
    if (input != nullptr && ::stat(input->native.c_str(), &st) == 0) {
        s.input = {true, static_cast<std::uint64_t>(st.st_dev),
                   static_cast<std::uint64_t>(st.st_ino)};
    }
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

#else

struct DecodedInput::State {};
struct EncodedOutput::State {};

bool canDecode() {
    return false;
}

DecodedInput::DecodedInput() = default;
DecodedInput::~DecodedInput() = default;

bool DecodedInput::open(const std::filesystem::path& /*path*/, std::string& error) {
    error = cannotDecodeReason();
    return false;
}

bool DecodedInput::openDescriptor(int /*fd*/, std::string& error) {
    error = cannotDecodeReason();
    return false;
}

bool DecodedInput::start(std::string& error) {
    error = cannotDecodeReason();
    return false;
}

bool DecodedInput::finish(std::string& /*error*/) {
    return true;
}

EncodedOutput::EncodedOutput() = default;
EncodedOutput::~EncodedOutput() = default;

bool EncodedOutput::open(const CliPath& /*output*/, Container /*container*/,
                         const CliPath* /*input*/, std::string& error) {
    error = "this build of wavchorus writes WAV files only (it was built without libsndfile)";
    return false;
}

bool EncodedOutput::finish(bool /*written*/, std::string& /*error*/) {
    return true;
}

int spoolStream(const CliPath& /*stream*/, std::string& error) {
    error = cannotDecodeReason();
    return -1;
}

#endif

} // namespace wavchorus_cli
