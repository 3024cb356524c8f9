// The chorus computed the straightforward way, value by value in double
// precision with a sine and an arctangent per value, as the oracle for the fast
// engine. It keeps the whole input, so the tap is simply the value d frames back
// (0 before the first), with no ring that could share a fault with the engine.
#pragma once

#include <bit>
#include <cstdint>
#include <vector>

namespace direct {

inline constexpr double kInputScale = std::bit_cast<double>(0x3F00000000000000ULL);
inline constexpr double kCentreFactor = std::bit_cast<double>(0x3F9999999999999AULL);
inline constexpr double kDepthFactor = std::bit_cast<double>(0x3F847AE147AE147BULL);
inline constexpr double kPhaseFactor = std::bit_cast<double>(0x3FE41B2F76A2B814ULL);
inline constexpr double kLimiterGain = std::bit_cast<double>(0x3FE45F306DC3EDC5ULL);
inline constexpr double kOutputScale = std::bit_cast<double>(0x40DFFFC000000000ULL);

// The truncated delay at one oscillator frame.
std::int32_t delayAt(std::int32_t sampleRate, std::int32_t lfoCounter);

// The limited and quantised output for the mix of two input values.
std::int16_t limit(std::int16_t a, std::int16_t b);

class Chorus {
  public:
    explicit Chorus(std::int32_t sampleRate) : rate_(sampleRate) {}
    // One value through the chorus; the next call is the next frame.
    std::int16_t process(std::int16_t s);

  private:
    std::int32_t rate_;
    std::int32_t lfoCounter_ = 0;
    std::vector<std::int16_t> history_;
};

// What the streaming loop writes after the header for the given bytes from byte
// 44 of an input, value by value as the loop is defined.
std::vector<std::uint8_t> streamOutput(const std::vector<std::uint8_t>& samples,
                                       std::uint16_t channels, std::int32_t sampleRate,
                                       std::uint32_t sampleNumber);

} // namespace direct
