// The one format of the system: three values read at fixed offsets of an input
// header, and the canonical 44-byte header written in front of the output.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace mavrel {

inline constexpr std::size_t kHeaderBytes = 44;

struct WaveInfo {
    std::uint16_t channels = 0;
    std::int32_t sampleRate = 0;
    std::uint32_t dataBytes = 0;
    // Frames: 16-bit values per channel. Undefined (0) when channels is 0.
    std::uint32_t sampleNumber = 0;
};

// Takes channels (bytes 22-23), sampleRate (24-27) and dataBytes (40-43) from the
// first 44 bytes of an input, and derives sampleNumber. Nothing else is looked at.
WaveInfo readWaveHeader(const std::array<std::uint8_t, kHeaderBytes>& bytes);

// The canonical 16-bit PCM header for the output. Every size and product is
// computed in 32-bit wrap-around arithmetic; each field keeps its low bytes.
std::array<std::uint8_t, kHeaderBytes> makeOutputHeader(const WaveInfo& info);

// The output's data size: dataBytes rounded down to whole frames.
std::uint32_t outputDataBytes(const WaveInfo& info);

} // namespace mavrel
