// What decoding shares on every system: which input goes straight to the
// library, which container an output takes, and libsndfile's reading and
// writing of the samples. How the streams reach the library is each system's
// own (Decode_posix.cpp, Decode_win32.cpp).
#include "Decode.h"

#include "HeaderCheck.h"
#include "WaveFormat.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cstring>
#include <fstream>
#include <utility>

#if defined(MAVREL_WAVCHORUS_SNDFILE)
#include "DecodeParts.h"

#include <cmath>
#endif

namespace wavchorus_cli {
namespace {

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
    if (!mavrel::layoutFindings(firstBytes.data()).empty()) {
        return false;
    }
    return !size ||
           *size - mavrel::kHeaderBytes <= mavrel::readWaveHeader(firstBytes.data()).dataBytes;
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

#if defined(MAVREL_WAVCHORUS_SNDFILE)

namespace {

// The frames decoded at a time: 64 KiB of 16-bit stereo, which the pipe to the
// library takes in one write.
constexpr sf_count_t kBlockFrames = 16384;

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
std::string reasonText(SNDFILE* file) {
    std::string text = sf_strerror(file);
    while (!text.empty() && (text.back() == '.' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

// Containers that hold PCM values as they are, one after another (not FLAC's
// compressed frames), so that libsndfile's raw read gives the values.
bool valuesAsTheyLie(int major) {
    switch (major) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_AIFF:
    case SF_FORMAT_W64:
    case SF_FORMAT_RF64:
    case SF_FORMAT_CAF:
        return true;
    default:
        return false;
    }
}

// The top two bytes of each of n values of Width bytes, as a little-endian
// 16-bit value: the same as libsndfile's conversion of the value to a short, at
// a fraction of its cost. Lo and Hi: where those bytes lie in a value. in and
// out never overlap; told so, the compiler moves each pair of bytes whole, and
// built for AVX2 it makes the loop one of byte shuffles, four times as fast.
template <std::size_t Width, std::size_t Lo, std::size_t Hi>
[[gnu::always_inline]] inline void topBytesLoop(const std::uint8_t* __restrict in,
                                                std::uint8_t* __restrict out, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        out[2 * k] = in[Width * k + Lo];
        out[2 * k + 1] = in[Width * k + Hi];
    }
}

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
template <std::size_t Width, std::size_t Lo, std::size_t Hi>
__attribute__((target("avx2"))) void topBytesWide(const std::uint8_t* in, std::uint8_t* out,
                                                  std::size_t n) {
    topBytesLoop<Width, Lo, Hi>(in, out, n);
}
#endif

template <std::size_t Width, std::size_t Lo, std::size_t Hi>
void takeTopBytes(const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
    if (__builtin_cpu_supports("avx2") != 0) {
        topBytesWide<Width, Lo, Hi>(in, out, n);
        return;
    }
#endif
    topBytesLoop<Width, Lo, Hi>(in, out, n);
}

void takeTopBytes(std::size_t width, bool bigEndian, const std::uint8_t* in, std::uint8_t* out,
                  std::size_t n) {
    if (width == 3) {
        bigEndian ? takeTopBytes<3, 1, 0>(in, out, n) : takeTopBytes<3, 1, 2>(in, out, n);
    } else {
        bigEndian ? takeTopBytes<4, 1, 0>(in, out, n) : takeTopBytes<4, 2, 3>(in, out, n);
    }
}

// v * 32768, clipped to the 16-bit range (NaN as -32768), then rounded to the
// nearest integer, halves to even: adding and taking away 1.5 * 2^52 leaves no
// fraction in the default rounding mode, with no call to the maths library.
// Clipping first rounds the same as rounding first.
std::int16_t fromDouble(double v) {
    constexpr double kRounder = 6755399441055744.0; // 1.5 * 2^52
    const double clipped = std::min(32767.0, std::max(-32768.0, v * 32768.0));
    return static_cast<std::int16_t>(static_cast<int>((clipped + kRounder) - kRounder));
}

} // namespace

bool canDecode() {
    return true;
}

std::string missingFormats() {
    int count = 0;
    (void)sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    std::vector<int> majors;
    for (int k = 0; k < count; ++k) {
        SF_FORMAT_INFO info{};
        info.format = k;
        if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) == 0) {
            majors.push_back(info.format);
        }
    }
    std::string missing;
    for (const auto& [major, name] :
         {std::pair{SF_FORMAT_FLAC, "FLAC"}, std::pair{SF_FORMAT_OGG, "Ogg (Vorbis, Opus)"},
          std::pair{SF_FORMAT_MPEG, "MP3"}}) {
        if (std::find(majors.begin(), majors.end(), major) == majors.end()) {
            missing += (missing.empty() ? "" : ", ") + std::string(name);
        }
    }
    return missing;
}

std::string sndfileReason(SNDFILE* file) {
    return reasonText(file);
}

SoundReader::~SoundReader() {
    if (file_ != nullptr) {
        sf_close(file_);
    }
}

bool SoundReader::take(SNDFILE* file, const SF_INFO& info, std::string& error) {
    file_ = file;
    info_ = info;
    if (file_ == nullptr) {
        error = reasonText(nullptr);
        return false;
    }
    const int subtype = info_.format & SF_FORMAT_SUBMASK;
    const std::string container = containerText(info_.format & SF_FORMAT_TYPEMASK);
    description_ = (container.empty() ? "" : container + ", ") + subtypeText(subtype) +
                   (subtype == SF_FORMAT_PCM_16 ? ", decoded" : ", converted to 16-bit");
    if (info_.channels <= 0 || info_.channels > 0xFFFF) {
        error = "it has " + std::to_string(info_.channels) + " channels";
        return false;
    }
    if (info_.frames < 0) {
        error = "its length is unknown";
        return false;
    }
    // The canonical header declares the data size in 32 bits.
    const auto frameBytes = static_cast<std::uint64_t>(info_.channels) * 2U;
    if (static_cast<std::uint64_t>(info_.frames) > 0xFFFFFFFFU / frameBytes) {
        error = "its " + std::to_string(info_.frames) +
                " frames at 16 bits exceed the 4 GiB that a WAV's data can hold";
        return false;
    }
    frames_ = info_.frames;
    integer_ = integerSubtype(subtype);
    const std::size_t block =
        static_cast<std::size_t>(kBlockFrames) * static_cast<std::size_t>(info_.channels);
    shorts_.resize(block);
    if (!integer_) {
        doubles_.resize(block);
    }
    // 24- and 32-bit integers keep their top 16 bits: those two bytes are taken
    // from the values as they lie in the file (libsndfile still reads every
    // container and says in which order the file holds a value's bytes).
    if ((subtype == SF_FORMAT_PCM_24 || subtype == SF_FORMAT_PCM_32) &&
        valuesAsTheyLie(info_.format & SF_FORMAT_TYPEMASK)) {
        rawWidth_ = subtype == SF_FORMAT_PCM_24 ? 3 : 4;
        const bool swapped = sf_command(file_, SFC_RAW_DATA_NEEDS_ENDSWAP, nullptr, 0) == SF_TRUE;
        rawBigEndian_ = swapped != (std::endian::native == std::endian::big);
        raw_.resize(block * rawWidth_);
    }
    mavrel::WaveInfo wave;
    wave.channels = static_cast<std::uint16_t>(info_.channels);
    wave.sampleRate = info_.samplerate;
    wave.dataBytes = static_cast<std::uint32_t>(static_cast<std::uint64_t>(frames_) * frameBytes);
    wave.sampleNumber = static_cast<std::uint32_t>(frames_);
    const auto header = mavrel::makeOutputHeader(wave);
    header_.assign(header.begin(), header.end());
    return true;
}

bool SoundReader::takeDescriptor(int fd, std::string& error) {
    // Given to libsndfile for good: a file it cannot read it closes itself,
    // whatever it was told, so a close of ours could hit a descriptor that
    // another thread has opened since.
    SF_INFO info{};
    return take(sf_open_fd(fd, SFM_READ, &info, SF_TRUE), info, error);
}

bool DecodedInput::openDescriptor(int fd, std::string& error) {
    reader_ = std::make_unique<SoundReader>();
    return kept(reader_->takeDescriptor(fd, error));
}

bool DecodedInput::kept(bool took) {
    description_ = reader_->description();
    header_ = reader_->header();
    return took;
}

bool SoundReader::next(std::span<const std::uint8_t>& bytes, std::string& error) {
    if (done_ >= frames_) {
        return false;
    }
    const auto channels = static_cast<std::size_t>(info_.channels);
    const sf_count_t want = std::min(kBlockFrames, frames_ - done_);
    // Integers through libsndfile's own conversion to shorts, which keeps their
    // top 16 bits (24 and 32 bits: their top bytes, taken here); the others as
    // doubles, rounded and clipped here.
    sf_count_t got = 0;
    if (rawWidth_ != 0) {
        const auto frameBytes = static_cast<sf_count_t>(channels * rawWidth_);
        got = sf_read_raw(file_, raw_.data(), want * frameBytes) / frameBytes;
    } else {
        got = integer_ ? sf_readf_short(file_, shorts_.data(), want)
                       : sf_readf_double(file_, doubles_.data(), want);
    }
    if (got < want && sf_error(file_) != SF_ERR_NO_ERROR) {
        error = reasonText(file_);
        return false;
    }
    const auto values = static_cast<std::size_t>(std::max<sf_count_t>(got, 0)) * channels;
    const std::size_t whole = static_cast<std::size_t>(want) * channels;
    if (rawWidth_ != 0) {
        takeTopBytes(rawWidth_, rawBigEndian_, raw_.data(),
                     reinterpret_cast<std::uint8_t*>(shorts_.data()), values);
    } else if (!integer_) {
        std::transform(doubles_.begin(), doubles_.begin() + static_cast<std::ptrdiff_t>(values),
                       shorts_.begin(), [](double v) { return fromDouble(v); });
    }
    // Fewer frames than the file's count (a lossy stream's count is the
    // decoder's estimate): silence to the count the header gives.
    std::fill(shorts_.begin() + static_cast<std::ptrdiff_t>(values),
              shorts_.begin() + static_cast<std::ptrdiff_t>(whole), std::int16_t{0});
    // Little-endian, as the WAV has it (the top bytes already are).
    if (std::endian::native == std::endian::big && rawWidth_ == 0) {
        for (std::size_t k = 0; k < whole; ++k) {
            const auto u = static_cast<std::uint16_t>(shorts_[k]);
            shorts_[k] = static_cast<std::int16_t>(static_cast<std::uint16_t>(u << 8U | u >> 8U));
        }
    }
    bytes = {reinterpret_cast<const std::uint8_t*>(shorts_.data()), whole * 2};
    done_ += want;
    return true;
}

SoundWriter::~SoundWriter() {
    if (file_ != nullptr) {
        sf_close(file_);
    }
}

void SoundWriter::write(const std::uint8_t* data, std::size_t n) {
    std::size_t at = 0;
    if (headerBytes_ < header_.size()) {
        const std::size_t take = std::min(n, header_.size() - headerBytes_);
        std::memcpy(header_.data() + headerBytes_, data, take);
        headerBytes_ += take;
        at = take;
        if (headerBytes_ == header_.size() && error_.empty()) {
            const mavrel::WaveInfo wave = mavrel::readWaveHeader(header_);
            SF_INFO info{};
            info.channels = wave.channels;
            info.samplerate = wave.sampleRate;
            switch (container_) {
            case Container::aiff:
                info.format = SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
                break;
            case Container::ogg:
                info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
                break;
            case Container::opus:
                info.format = SF_FORMAT_OGG | SF_FORMAT_OPUS;
                break;
            case Container::mp3:
                info.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
                break;
            case Container::flac:
                info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
                break;
            case Container::wav:
                info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
                break;
            }
            file_ = sf_open_fd(fd_, SFM_WRITE, &info, SF_FALSE);
            if (file_ == nullptr) {
                error_ = reasonText(nullptr);
            }
            frameBytes_ = std::size_t{2} * wave.channels;
        }
    }
    if (file_ == nullptr || !error_.empty() || at == n) {
        return;
    }
    pending_.insert(pending_.end(), data + at, data + n);
    const std::size_t whole = pending_.size() / frameBytes_ * frameBytes_;
    values_.resize(whole / 2);
    for (std::size_t k = 0; k < values_.size(); ++k) {
        values_[k] = static_cast<std::int16_t>(
            static_cast<std::uint16_t>(pending_[2 * k] | pending_[2 * k + 1] << 8U));
    }
    const auto frames = static_cast<sf_count_t>(whole / frameBytes_);
    sf_count_t written = 0;
    if (container_ == Container::flac || container_ == Container::aiff) {
        written = sf_writef_short(file_, values_.data(), frames);
    } else {
        // The lossy encoders take floats (v / 32768, exact): libsndfile 1.2's
        // MP3 encoder garbles half of a stereo stream written as shorts.
        floats_.resize(values_.size());
        std::transform(values_.begin(), values_.end(), floats_.begin(),
                       [](std::int16_t v) { return static_cast<float>(v) / 32768.0F; });
        written = sf_writef_float(file_, floats_.data(), frames);
    }
    if (written != frames) {
        error_ = reasonText(file_);
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(whole));
}

bool SoundWriter::close(std::string& error) {
    if (file_ != nullptr) {
        if (sf_close(file_) != 0 && error_.empty()) {
            error_ = reasonText(nullptr);
        }
        file_ = nullptr;
    } else if (error_.empty()) {
        error_ = "the library wrote no WAV header";
    }
    error = error_;
    return error_.empty();
}

#else

bool canDecode() {
    return false;
}

std::string missingFormats() {
    return "";
}

class SoundReader {};
struct DecodedInput::State {};
struct EncodedOutput::State {};

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
