// What a successful call must write for a given input, worked out independently
// of the library: the output header's bytes and the output file's size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace mavrel_fuzz {

struct DeclaredFormat {
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0; // the four bytes as read, unsigned
    std::uint32_t dataBytes = 0;
};

// Bytes 22, 24 and 40 of an input of at least 44 bytes.
DeclaredFormat declaredFormat(const std::uint8_t* input);

// Frames for one or two channels, values for more: dataBytes / 2 / channels.
std::uint64_t declaredCount(const DeclaredFormat& f);

// 16-bit values the output carries after its header, for an input of inputBytes.
std::uint64_t expectedOutputValues(const DeclaredFormat& f, std::size_t inputBytes);

// The canonical header; every field the low bytes of its exact value.
std::array<std::uint8_t, 44> expectedOutputHeader(const DeclaredFormat& f);

} // namespace mavrel_fuzz
