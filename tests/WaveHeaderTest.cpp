// The values read at fixed offsets and the exact bytes of the output header.
#include "WaveFormat.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace mavrel;

namespace {

std::array<std::uint8_t, kHeaderBytes> headerWith(std::uint16_t channels, std::int32_t rate,
                                                  std::uint32_t dataBytes) {
    std::array<std::uint8_t, kHeaderBytes> h{};
    h[22] = static_cast<std::uint8_t>(channels);
    h[23] = static_cast<std::uint8_t>(channels >> 8U);
    for (int i = 0; i < 4; ++i) {
        h[24 + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(static_cast<std::uint32_t>(rate) >> (8 * i));
        h[40 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(dataBytes >> (8 * i));
    }
    return h;
}

using Header = std::array<std::uint8_t, kHeaderBytes>;

Header expected(std::initializer_list<std::uint8_t> fields) {
    Header h{};
    std::copy(fields.begin(), fields.end(), h.begin());
    return h;
}

} // namespace

TEST(WaveHeader, CanonicalStereo) {
    const WaveInfo info = readWaveHeader(headerWith(2, 44100, 176400));
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.sampleRate, 44100);
    EXPECT_EQ(info.sampleNumber, 44100U);
    EXPECT_EQ(makeOutputHeader(info),
              expected({'R', 'I', 'F',  'F',  0x34, 0xB1, 0x02, 0x00, 'W',  'A',  'V',
                        'E', 'f', 'm',  't',  ' ',  16,   0,    0,    0,    1,    0,
                        2,   0,   0x44, 0xAC, 0,    0,    0x10, 0xB1, 0x02, 0x00, 4,
                        0,   16,  0,    'd',  'a',  't',  'a',  0x10, 0xB1, 0x02, 0x00}));
}

TEST(WaveHeader, DataSizeRoundedDownToWholeFrames) {
    const WaveInfo mono = readWaveHeader(headerWith(1, 8000, 11));
    EXPECT_EQ(mono.sampleNumber, 5U);
    EXPECT_EQ(outputDataBytes(mono), 10U);
    EXPECT_EQ(makeOutputHeader(mono)[4], 46);

    const WaveInfo stereo = readWaveHeader(headerWith(2, 8000, 10));
    EXPECT_EQ(stereo.sampleNumber, 2U);
    EXPECT_EQ(outputDataBytes(stereo), 8U);

    const WaveInfo six = readWaveHeader(headerWith(6, 8000, 1000));
    EXPECT_EQ(six.sampleNumber, 83U);
    EXPECT_EQ(outputDataBytes(six), 996U);
}

// Sizes and products are 32-bit and wrap; each field keeps its low bytes.
TEST(WaveHeader, SizesWrapAround) {
    const WaveInfo big = readWaveHeader(headerWith(1, 44100, 0xFFFFFFFFU));
    EXPECT_EQ(big.sampleNumber, 0x7FFFFFFFU);
    const Header h = makeOutputHeader(big);
    EXPECT_EQ(h[4] | h[5] << 8 | h[6] << 16 | static_cast<std::uint32_t>(h[7]) << 24,
              0x22U); // 0xFFFFFFFE + 36
    EXPECT_EQ(h[40] | h[41] << 8 | h[42] << 16 | static_cast<std::uint32_t>(h[43]) << 24,
              0xFFFFFFFEU);

    const WaveInfo wide = readWaveHeader(headerWith(65535, 0x7FFFFFFF, 0x00020000U));
    const Header w = makeOutputHeader(wide);
    const std::uint32_t byteRate = 65535U * 0x7FFFFFFFU * 2U;
    EXPECT_EQ(w[28] | w[29] << 8 | w[30] << 16 | static_cast<std::uint32_t>(w[31]) << 24, byteRate);
    EXPECT_EQ(w[32], 0xFE); // 131070 keeps its low 16 bits
    EXPECT_EQ(w[33], 0xFF);
    EXPECT_EQ(w[22], 0xFF);
    EXPECT_EQ(w[23], 0xFF);

    const WaveInfo negative = readWaveHeader(headerWith(1, -5, 4));
    EXPECT_EQ(negative.sampleRate, -5);
    EXPECT_EQ(makeOutputHeader(negative)[27], 0xFF);
}

TEST(WaveHeader, OnlyTheFixedOffsetsAreRead) {
    Header noisy = headerWith(2, 22050, 4000);
    for (std::size_t k : {0, 5, 12, 16, 20, 21, 28, 31, 34, 36, 39}) {
        noisy[k] = 0xA5;
    }
    EXPECT_EQ(makeOutputHeader(readWaveHeader(noisy)),
              makeOutputHeader(readWaveHeader(headerWith(2, 22050, 4000))));
}

TEST(WaveHeader, ZeroChannelsDividesNothing) {
    const WaveInfo info = readWaveHeader(headerWith(0, 44100, 400));
    EXPECT_EQ(info.channels, 0);
    EXPECT_EQ(info.sampleNumber, 0U);
}
