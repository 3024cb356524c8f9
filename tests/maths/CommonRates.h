// The sample rates that the maths-library tests cover, each over a whole
// oscillator cycle: the common ones from 8 kHz to 192 kHz.
#pragma once

#include <array>
#include <cstdint>

namespace maths_test {

inline constexpr std::array<std::int32_t, 14> kCommonRates = {8000,  11025, 12000,  16000, 22050,
                                                              24000, 32000, 44100,  48000, 64000,
                                                              88200, 96000, 176400, 192000};

} // namespace maths_test
