// The straightforward signal path, kept for the benchmark as the library had it
// before the fast engine: one delay tap swept by a 0.1 Hz sine, added to the dry
// value, an arctangent soft limiter and quantisation back to 16 bits, computed
// value by value in double precision with a sine and an arctangent per frame.
#pragma once

#include <bit>
#include <cstdint>
#include <vector>

namespace mavrel::reference {

// Constants that must be exact, taken from their bit patterns. Two are built on
// pi taken as 3.1415926538, not on the full-precision value.
namespace chorus_constants {
inline constexpr double kInputScale = std::bit_cast<double>(0x3F00000000000000ULL);   // 2^-15
inline constexpr double kCentreFactor = std::bit_cast<double>(0x3F9999999999999AULL); // 0.025
inline constexpr double kDepthFactor = std::bit_cast<double>(0x3F847AE147AE147BULL);  // 0.01
inline constexpr double kPhaseFactor =
    std::bit_cast<double>(0x3FE41B2F76A2B814ULL); // 2 x 3.1415926538 x 0.1
inline constexpr double kLimiterGain =
    std::bit_cast<double>(0x3FE45F306DC3EDC5ULL); // 2 / 3.1415926538
inline constexpr double kOutputScale = std::bit_cast<double>(0x40DFFFC000000000ULL); // 32767.0
inline constexpr std::int32_t kMinRingSize = 2000;
} // namespace chorus_constants

struct ChorusState {
    std::vector<double> ring; // the last ringSize normalised input values
    std::int32_t ringSize = 0;
    std::int32_t writePos = 0;   // where the current value is stored
    std::int32_t lfoCounter = 0; // oscillator phase in frames, wraps at lfoWrap
    std::int32_t lfoWrap = 0;    // 10 x sampleRate: one 10-second cycle
    std::int32_t sampleRate = 0;
    double sampleRateD = 0.0;
    double baseDelay = 0.0; // centre delay in samples (25 ms)
    double depth = 0.0;     // sweep depth in samples (10 ms)
};

// The ring size for a rate: it holds the longest delay the oscillator can reach
// at that rate, so the tap always reads a value stored earlier, and never fewer
// than 2000 values. Below 57,143 Hz that is 2000.
std::int32_t chorusRingSize(std::int32_t sampleRate);

// Sets up the state for a rate of 1 to WAVCHORUS_MAX_RATE Hz. Allocates the ring.
ChorusState setUpChorus(std::int32_t sampleRate);

// Processes one value: the dry value enters the ring, the tap is mixed in,
// limited and quantised. Advances the oscillator but not the ring, which the
// streaming loop advances once the frame is written (advanceRing).
std::int16_t processValue(ChorusState& state, std::int16_t s);

void advanceRing(ChorusState& state);

} // namespace mavrel::reference
