#include "WaveHeader.h"

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

WaveInfo readWaveHeader(const std::array<std::uint8_t, kHeaderBytes>& bytes) {
    WaveInfo info;
    info.channels = readLE16(&bytes[22]);
    info.sampleRate = static_cast<std::int32_t>(readLE32(&bytes[24]));
    info.dataBytes = readLE32(&bytes[40]);
    if (info.channels != 0) {
        info.sampleNumber = (info.dataBytes >> 1U) / info.channels;
    }
    return info;
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
