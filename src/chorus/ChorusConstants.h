// The constants of the signal path. Those that must be exact are taken from
// their bit patterns; two are built on pi taken as 3.1415926538, not on the
// full-precision value.
#pragma once

#include <bit>
#include <cstdint>

namespace mavrel {

// A double from its IEEE 754 bit pattern, in a constant expression. Some C++
// libraries (emscripten's among them) lack std::bit_cast; the compiler's own
// builtin is what std::bit_cast is made of.
constexpr double doubleFromBits(std::uint64_t bits) {
#if defined(__cpp_lib_bit_cast)
    return std::bit_cast<double>(bits);
#else
    return __builtin_bit_cast(double, bits);
#endif
}

namespace chorus_constants {
inline constexpr double kInputScale = doubleFromBits(0x3F00000000000000ULL);   // 2^-15
inline constexpr double kCentreFactor = doubleFromBits(0x3F9999999999999AULL); // 0.025
inline constexpr double kDepthFactor = doubleFromBits(0x3F847AE147AE147BULL);  // 0.01
inline constexpr double kPhaseFactor =
    doubleFromBits(0x3FE41B2F76A2B814ULL); // 2 x 3.1415926538 x 0.1
inline constexpr double kLimiterGain = doubleFromBits(0x3FE45F306DC3EDC5ULL); // 2 / 3.1415926538
inline constexpr double kOutputScale = doubleFromBits(0x40DFFFC000000000ULL); // 32767.0
inline constexpr std::int32_t kMinRingSize = 2000;
} // namespace chorus_constants

} // namespace mavrel
