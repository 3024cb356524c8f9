#include "HeaderCheck.h"

#include "MavrelWAVChorus.h"
#include "WaveHeader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>

namespace wavchorus_cli {
namespace {

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8U |
           static_cast<std::uint32_t>(p[2]) << 16U | static_cast<std::uint32_t>(p[3]) << 24U;
}

unsigned le16(const std::uint8_t* p) {
    return static_cast<unsigned>(p[0] | p[1] << 8U);
}

} // namespace

std::vector<std::string> canonicalLayoutFindings(const std::uint8_t (&h)[44]) {
    std::vector<std::string> found;
    const auto tag = [&](std::size_t at, const char* want) {
        if (std::memcmp(&h[at], want, 4) != 0) {
            found.push_back(std::string("no \"") + want + "\" at byte " + std::to_string(at));
        }
    };
    tag(0, "RIFF");
    tag(8, "WAVE");
    tag(12, "fmt ");
    if (le32(&h[16]) != 16) {
        found.push_back("format chunk of " + std::to_string(le32(&h[16])) + " bytes");
    }
    if (le16(&h[20]) != 1) {
        found.push_back("format " + std::to_string(le16(&h[20])));
    }
    if (le16(&h[34]) != 16) {
        found.push_back(std::to_string(le16(&h[34])) + " bits");
    }
    tag(36, "data");
    return found;
}

std::optional<std::string> layoutWarning(const std::uint8_t (&header)[44]) {
    const std::vector<std::string> found = canonicalLayoutFindings(header);
    if (found.empty()) {
        return std::nullopt;
    }
    std::string text = "not the canonical 44-byte 16-bit PCM WAV layout (";
    for (std::size_t k = 0; k < found.size(); ++k) {
        text += (k == 0 ? "" : ", ") + found[k];
    }
    text += "); its sizes and samples are read as if it were, so the result will be wrong. "
            "Convert it first, e.g. sox IN.wav -b 16 -e signed-integer fixed.wav";
    return text;
}

std::optional<std::string> shortfallWarning(const std::uint8_t (&header)[44], std::uint64_t bytes,
                                            bool afterwards) {
    std::array<std::uint8_t, 44> copy{};
    std::memcpy(copy.data(), header, sizeof header);
    const mavrel::WaveInfo info = mavrel::readWaveHeader(copy);
    if (info.channels == 0 || bytes < 44) {
        return std::nullopt;
    }
    const std::uint64_t values = (bytes - 44) / 2U;
    const std::uint64_t frames = values / info.channels;
    // One or two channels are padded frame by frame; more channels go through
    // as one stream of values, padded while fewer values than the declared
    // frame count were read: their output ends short of its declared size.
    if (info.sampleNumber <= frames) {
        return std::nullopt;
    }
    std::string text = "the header declares " + std::to_string(info.sampleNumber) +
                       " frames but the " + (afterwards ? "stream held " : "file holds ") +
                       std::to_string(frames);
    // A stereo frame whose second value is missing ends the output; any other
    // file is padded.
    if (info.channels == 2) {
        return text +
               (afterwards ? "; the output ended there too" : "; the output will end there too") +
               ", its header still declaring " + std::to_string(info.sampleNumber);
    }
    if (info.channels > 2) {
        // Padded up to the declared count of values, not of frames.
        const std::uint64_t written = std::max<std::uint64_t>(values, info.sampleNumber);
        return text + "; with " + std::to_string(info.channels) +
               " channels silence is added only up to " + std::to_string(info.sampleNumber) +
               " values, so the output " + (afterwards ? "ended" : "will end") + " after " +
               std::to_string(written / info.channels) + " frames, its header still declaring " +
               std::to_string(info.sampleNumber);
    }
    return text + (afterwards ? "; the missing part was written as silence"
                              : "; the missing part will be written as silence");
}

std::optional<Refusal> headerRefusal(const std::vector<std::uint8_t>& firstBytes) {
    std::array<std::uint8_t, 44> header{};
    if (firstBytes.size() < header.size()) {
        return Refusal{WAVCHORUS_ERR_SHORT_HEADER, "shorter than the 44-byte WAV header"};
    }
    std::memcpy(header.data(), firstBytes.data(), header.size());
    const mavrel::WaveInfo info = mavrel::readWaveHeader(header);
    if (info.channels == 0) {
        return Refusal{WAVCHORUS_ERR_BAD_CHANNELS, "the header gives 0 channels"};
    }
    if (info.sampleRate <= 0 || info.sampleRate > WAVCHORUS_MAX_RATE) {
        return Refusal{WAVCHORUS_ERR_BAD_RATE, "sample rate " + std::to_string(info.sampleRate) +
                                                   " Hz is outside 1 to " +
                                                   std::to_string(WAVCHORUS_MAX_RATE) + " Hz"};
    }
    return std::nullopt;
}

std::vector<std::string> headerWarnings(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return {};
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    return ec ? std::vector<std::string>{} : headerWarnings(path, size);
}

std::vector<std::string> headerWarnings(const std::filesystem::path& path, std::uint64_t size) {
    std::vector<std::string> warnings;
    std::ifstream in(path, std::ios::binary);
    std::uint8_t raw[44];
    if (!in || !in.read(reinterpret_cast<char*>(raw), sizeof raw)) {
        return warnings;
    }
    if (std::optional<std::string> layout = layoutWarning(raw)) {
        warnings.push_back(std::move(*layout));
    }
    if (std::optional<std::string> shortfall = shortfallWarning(raw, size, false)) {
        warnings.push_back(std::move(*shortfall));
    }
    return warnings;
}

} // namespace wavchorus_cli
