#include "HeaderCheck.h"

#include "WaveHeader.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

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

std::vector<std::string> headerWarnings(const std::string& path) {
    std::vector<std::string> warnings;
    std::ifstream in(path, std::ios::binary);
    struct stat st {};
    if (!in || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return warnings;
    }
    std::uint8_t raw[44];
    if (!in.read(reinterpret_cast<char*>(raw), sizeof raw)) {
        return warnings;
    }

    const std::vector<std::string> found = canonicalLayoutFindings(raw);
    if (!found.empty()) {
        std::string text = "not the canonical 44-byte 16-bit PCM WAV layout (";
        for (std::size_t k = 0; k < found.size(); ++k) {
            text += (k == 0 ? "" : ", ") + found[k];
        }
        text += "); its sizes and samples are read as if it were, so the result will be wrong. "
                "Convert it first, e.g. sox IN.wav -b 16 -e signed-integer fixed.wav";
        warnings.push_back(text);
    }

    std::array<std::uint8_t, 44> bytes{};
    std::memcpy(bytes.data(), raw, sizeof raw);
    const mavrel::WaveInfo info = mavrel::readWaveHeader(bytes);
    if (info.channels != 0) {
        const auto values = static_cast<std::uint64_t>(st.st_size - 44) / 2U;
        const std::uint64_t frames = values / info.channels;
        // One or two channels are padded frame by frame; more channels go through
        // as one stream of values, padded while fewer values than the declared
        // frame count were read.
        const std::uint64_t counted = info.channels <= 2 ? frames : values;
        if (info.sampleNumber > counted) {
            warnings.push_back("the header declares " + std::to_string(info.sampleNumber) +
                               " frames but the file holds " + std::to_string(frames) +
                               "; the missing part will be written as silence");
        }
    }
    return warnings;
}

} // namespace wavchorus_cli
