#include "ReferenceChorusState.h"

#include <algorithm>
#include <cmath>

namespace mavrel::reference {

using namespace chorus_constants;

std::int32_t chorusRingSize(std::int32_t sampleRate) {
    const double rate = sampleRate;
    // sin is at most 1, so depth x sin + baseDelay never exceeds depth + baseDelay.
    const auto longestDelay = static_cast<std::int32_t>(rate * kDepthFactor + rate * kCentreFactor);
    return std::max(kMinRingSize, longestDelay + 1);
}

ChorusState setUpChorus(std::int32_t sampleRate) {
    ChorusState state;
    state.ringSize = chorusRingSize(sampleRate);
    state.ring.assign(static_cast<std::size_t>(state.ringSize), 0.0);
    state.sampleRate = sampleRate;
    state.sampleRateD = sampleRate;
    state.lfoWrap = 10 * sampleRate;
    state.baseDelay = state.sampleRateD * kCentreFactor;
    state.depth = state.sampleRateD * kDepthFactor;
    return state;
}

std::int16_t processValue(ChorusState& state, std::int16_t s) {
    const double x = static_cast<double>(s) * kInputScale;
    // The store comes before the tap is read, so a delay of 0 reads this value.
    state.ring[static_cast<std::size_t>(state.writePos)] = x;

    const double theta = (static_cast<double>(state.lfoCounter) * kPhaseFactor) / state.sampleRateD;
    const auto d = static_cast<std::int32_t>(state.depth * std::sin(theta) + state.baseDelay);
    // The ring holds the longest delay, so the dividend is never negative.
    const std::int32_t r = (state.writePos - d + state.ringSize) % state.ringSize;
    const double y = state.ring[static_cast<std::size_t>(r)] +
                     state.ring[static_cast<std::size_t>(state.writePos)];

    state.lfoCounter = (state.lfoCounter + 1) % state.lfoWrap;

    const double z = std::atan(y) * kLimiterGain;
    // Truncation toward zero, not rounding.
    return static_cast<std::int16_t>(static_cast<std::int32_t>(z * kOutputScale));
}

void advanceRing(ChorusState& state) {
    state.writePos = (state.writePos + 1) % state.ringSize;
}

} // namespace mavrel::reference
