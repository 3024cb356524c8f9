#include "WaveFormat.h"

#include "MavrelWAVChorus.h"

#include <algorithm>
#include <cstring>

namespace mavrel {
namespace {

std::uint32_t readLE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8U |
           static_cast<std::uint32_t>(p[2]) << 16U | static_cast<std::uint32_t>(p[3]) << 24U;
}

std::uint16_t readLE16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8U);
}

void writeLE32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

void writeLE16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8U);
}

} // namespace

WaveInfo readWaveHeader(const std::uint8_t* bytes) {
    WaveInfo info;
    info.channels = readLE16(&bytes[22]);
    info.sampleRate = static_cast<std::int32_t>(readLE32(&bytes[24]));
    info.dataBytes = readLE32(&bytes[40]);
    if (info.channels != 0) {
        info.sampleNumber = (info.dataBytes >> 1U) / info.channels;
    }
    return info;
}

std::optional<HeaderRefusal> headerRefusal(const std::uint8_t* bytes, std::size_t n) {
    if (n < kHeaderBytes) {
        return HeaderRefusal{WAVCHORUS_ERR_SHORT_HEADER, "shorter than the 44-byte WAV header"};
    }
    const WaveInfo info = readWaveHeader(bytes);
    if (info.channels == 0) {
        return HeaderRefusal{WAVCHORUS_ERR_BAD_CHANNELS, "the header gives 0 channels"};
    }
    if (info.sampleRate <= 0 || info.sampleRate > WAVCHORUS_MAX_RATE) {
        return HeaderRefusal{WAVCHORUS_ERR_BAD_RATE,
                             "sample rate " + std::to_string(info.sampleRate) +
                                 " Hz is outside 1 to " + std::to_string(WAVCHORUS_MAX_RATE) +
                                 " Hz"};
    }
    return std::nullopt;
}

std::vector<std::string> layoutFindings(const std::uint8_t* h) {
    std::vector<std::string> found;
    const auto tag = [&](std::size_t at, const char* want) {
        if (std::memcmp(&h[at], want, 4) != 0) {
            found.push_back(std::string("no \"") + want + "\" at byte " + std::to_string(at));
        }
    };
    tag(0, "RIFF");
    tag(8, "WAVE");
    tag(12, "fmt ");
    if (readLE32(&h[16]) != 16) {
        found.push_back("format chunk of " + std::to_string(readLE32(&h[16])) + " bytes");
    }
    if (readLE16(&h[20]) != 1) {
        found.push_back("format " + std::to_string(readLE16(&h[20])));
    }
    if (readLE16(&h[34]) != 16) {
        found.push_back(std::to_string(readLE16(&h[34])) + " bits");
    }
    tag(36, "data");
    return found;
}

OutputPlan planOutput(const WaveInfo& info, std::uint64_t dataHeld) {
    OutputPlan plan;
    if (info.channels == 0) {
        return plan;
    }
    const std::uint64_t values = dataHeld / 2; // a last odd byte is not a value
    plan.framesHeld = values / info.channels;
    if (info.channels == 2) {
        // A frame with its first value alone is written once; so is one value of
        // silence for the first missing frame. Either ends the output.
        const bool partial = values % 2 != 0 || plan.framesHeld < info.sampleNumber;
        plan.valuesWritten = 2 * plan.framesHeld + (partial ? 1 : 0);
        plan.padded = values % 2 == 0 && plan.framesHeld < info.sampleNumber;
        plan.endsShort = plan.framesHeld < info.sampleNumber;
        return plan;
    }
    // Mono counts frames, more channels count values, against sampleNumber.
    plan.valuesWritten = std::max<std::uint64_t>(values, info.sampleNumber);
    plan.padded = values < info.sampleNumber;
    plan.endsShort = plan.valuesWritten < std::uint64_t{info.channels} * info.sampleNumber;
    return plan;
}

std::uint32_t outputDataBytes(const WaveInfo& info) {
    // channels x sampleNumber x 2 never exceeds dataBytes, so this cannot wrap.
    return static_cast<std::uint32_t>(info.channels) * info.sampleNumber * 2U;
}

std::array<std::uint8_t, kHeaderBytes> makeOutputHeader(const WaveInfo& info) {
    const std::uint32_t channels = info.channels;
    const auto rate = static_cast<std::uint32_t>(info.sampleRate);
    const std::uint32_t dataOut = outputDataBytes(info);

    std::array<std::uint8_t, kHeaderBytes> h{};
    std::memcpy(&h[0], "RIFF", 4);
    writeLE32(&h[4], dataOut + 36U);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    writeLE32(&h[16], 16U);
    writeLE16(&h[20], 1U);
    writeLE16(&h[22], info.channels);
    writeLE32(&h[24], rate);
    writeLE32(&h[28], channels * rate * 2U);
    writeLE16(&h[32], static_cast<std::uint16_t>(channels * 2U));
    writeLE16(&h[34], 16U);
    std::memcpy(&h[36], "data", 4);
    writeLE32(&h[40], dataOut);
    return h;
}

} // namespace mavrel
