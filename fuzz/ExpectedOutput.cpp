#include "ExpectedOutput.h"

#include <algorithm>
#include <cstring>

namespace mavrel_fuzz {
namespace {

void put(std::uint8_t* p, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

std::uint64_t get(const std::uint8_t* p, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = v << 8U | p[i];
    }
    return v;
}

} // namespace

DeclaredFormat declaredFormat(const std::uint8_t* input) {
    DeclaredFormat f;
    f.channels = static_cast<std::uint16_t>(get(input + 22, 2));
    f.sampleRate = static_cast<std::uint32_t>(get(input + 24, 4));
    f.dataBytes = static_cast<std::uint32_t>(get(input + 40, 4));
    return f;
}

std::uint64_t declaredCount(const DeclaredFormat& f) {
    return f.channels == 0 ? 0 : (f.dataBytes / 2U) / f.channels;
}

std::uint64_t expectedOutputValues(const DeclaredFormat& f, std::size_t inputBytes) {
    const std::uint64_t held = (inputBytes - 44) / 2;
    const std::uint64_t declared = declaredCount(f);
    if (f.channels != 2) {
        // One stream of values, padded with silence up to the declared count.
        return std::max(held, declared);
    }
    // Stereo: each whole frame gives two values. A frame missing its second
    // value ends the output after its first; a file ending on a frame boundary
    // before the declared count gets one padded value, then ends.
    if (held % 2 == 1) {
        return held;
    }
    return declared > held / 2 ? held + 1 : held;
}

std::array<std::uint8_t, 44> expectedOutputHeader(const DeclaredFormat& f) {
    const std::uint64_t dataOut = std::uint64_t{f.channels} * declaredCount(f) * 2;
    std::array<std::uint8_t, 44> h{};
    std::memcpy(&h[0], "RIFF", 4);
    put(&h[4], dataOut + 36, 4);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    put(&h[16], 16, 4);
    put(&h[20], 1, 2);
    put(&h[22], f.channels, 2);
    put(&h[24], f.sampleRate, 4);
    put(&h[28], std::uint64_t{f.channels} * f.sampleRate * 2, 4);
    put(&h[32], std::uint64_t{f.channels} * 2, 2);
    put(&h[34], 16, 2);
    std::memcpy(&h[36], "data", 4);
    put(&h[40], dataOut, 4);
    return h;
}

} // namespace mavrel_fuzz
