// The one format of the system and what the library does with it: three values
// read at fixed offsets of an input header, the headers it refuses and why, how
// a header departs from the canonical layout, and what the output holds (the
// canonical 44-byte header, then one value for each value read, padded or cut
// short where the input holds less than its header declares). The library, the
// command line and the page all ask this unit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
WaveInfo readWaveHeader(const std::uint8_t* bytes);
inline WaveInfo readWaveHeader(const std::array<std::uint8_t, kHeaderBytes>& bytes) {
    return readWaveHeader(bytes.data());
}

// Why the library refuses an input that begins with these n bytes (fewer than
// 44 when the input is that short): its failure code (MavrelWAVChorus.h) and its
// reason, e.g. "the header gives 0 channels". Nothing when it takes them.
struct HeaderRefusal {
    std::int32_t code = 0;
    std::string reason;
};
std::optional<HeaderRefusal> headerRefusal(const std::uint8_t* bytes, std::size_t n);

// The parts of a 44-byte header that differ from the canonical 16-bit PCM
// layout, e.g. "format 3", "32 bits", "no \"data\" at byte 36". Empty when it is
// canonical. The library reads any header as if it were.
std::vector<std::string> layoutFindings(const std::uint8_t* header);

// What the output's data holds for an input whose data (after the header) is
// dataHeld bytes long. One or two channels go frame by frame: a missing mono
// frame is silence; a stereo input that ends before its declared frames (or in
// the middle of a frame) ends its output after one further value. More channels
// go as one stream of values, padded with silence up to sampleNumber values.
struct OutputPlan {
    std::uint64_t framesHeld = 0;    // whole frames in the input's data
    std::uint64_t valuesWritten = 0; // 16-bit values in the output's data
    bool padded = false;             // silence stands in for missing values
    bool endsShort = false;          // the data ends before the size its header declares
};
OutputPlan planOutput(const WaveInfo& info, std::uint64_t dataHeld);

// The canonical 16-bit PCM header for the output. Every size and product is
// computed in 32-bit wrap-around arithmetic; each field keeps its low bytes.
std::array<std::uint8_t, kHeaderBytes> makeOutputHeader(const WaveInfo& info);

// The output's data size as its header declares it: dataBytes rounded down to
// whole frames.
std::uint32_t outputDataBytes(const WaveInfo& info);

} // namespace mavrel
