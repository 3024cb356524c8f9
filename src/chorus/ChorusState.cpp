#include "ChorusState.h"

#include "ChorusConstants.h"
#include "LimiterTable.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace mavrel {

using namespace chorus_constants;

namespace {

// The delay run that holds the oscillator's current frame.
const DelayRun& currentRun(ChorusState& state) {
    if (state.lfoCounter < state.run.start || state.lfoCounter >= state.run.end) {
        state.run = findDelayRun(state.sweep, state.lfoCounter, state.run);
    }
    return state.run;
}

// out[k] = the limited and quantised mix dry[k] + tap[k], for k < n.
void mixInto(const std::int16_t* dry, const std::int16_t* tap, std::int16_t* out, std::size_t n) {
    // Indexed by the mix itself. Each entry is its output + 32768, so flipping the
    // top bit gives the output; an entry not yet computed (0) gives -32768, which
    // the limiter never outputs.
    const LimiterEntry* entries = limiterEntries() - kMixMin;
    const auto entry = [entries](std::int16_t a, std::int16_t b) {
        return static_cast<std::int16_t>(
            entries[static_cast<std::ptrdiff_t>(a) + static_cast<std::ptrdiff_t>(b)].load(
                std::memory_order_relaxed));
    };
    // Two passes without a branch: the look-ups, then (vectorised) the top bit
    // and the search for an entry not yet computed.
    std::size_t k = 0;
    for (; k + 4 <= n; k += 4) {
        out[k] = entry(dry[k], tap[k]);
        out[k + 1] = entry(dry[k + 1], tap[k + 1]);
        out[k + 2] = entry(dry[k + 2], tap[k + 2]);
        out[k + 3] = entry(dry[k + 3], tap[k + 3]);
    }
    for (; k < n; ++k) {
        out[k] = entry(dry[k], tap[k]);
    }
    // In groups of 64, so that an entry met for the first time is looked for in
    // its group alone.
    constexpr std::size_t kGroup = 64;
    for (std::size_t group = 0; group < n; group += kGroup) {
        std::int16_t* g = out + group;
        const std::size_t m = std::min(kGroup, n - group);
        std::int16_t lowest = 0;
        if (m == kGroup) {
            for (k = 0; k < kGroup; ++k) {
                g[k] = static_cast<std::int16_t>(static_cast<std::uint16_t>(g[k]) ^ 0x8000U);
                lowest = std::min(lowest, g[k]);
            }
        } else {
            for (k = 0; k < m; ++k) {
                g[k] = static_cast<std::int16_t>(static_cast<std::uint16_t>(g[k]) ^ 0x8000U);
                lowest = std::min(lowest, g[k]);
            }
        }
        if (lowest == std::numeric_limits<std::int16_t>::min()) [[unlikely]] {
            for (k = 0; k < m; ++k) {
                if (g[k] == std::numeric_limits<std::int16_t>::min()) {
                    g[k] = fillLimiterEntry(static_cast<std::int32_t>(dry[group + k]) +
                                            tap[group + k]);
                }
            }
        }
    }
}

} // namespace

std::int32_t chorusRingSize(std::int32_t sampleRate) {
    const double rate = sampleRate;
    // sin is at most 1, so depth x sin + baseDelay never exceeds depth + baseDelay.
    const auto longestDelay = static_cast<std::int32_t>(rate * kDepthFactor + rate * kCentreFactor);
    return std::max(kMinRingSize, longestDelay + 1);
}

ChorusState setUpChorus(std::int32_t sampleRate) {
    ChorusState state;
    state.ringSize = chorusRingSize(sampleRate);
    state.ring.assign(static_cast<std::size_t>(state.ringSize), 0);
    state.sampleRate = sampleRate;
    state.sweep = makeDelaySweep(sampleRate);
    return state;
}

std::int16_t processValue(ChorusState& state, std::int16_t s) {
    // The store comes before the tap is read, so a delay of 0 reads this value.
    state.ring[static_cast<std::size_t>(state.writePos)] = s;
    const std::int32_t d = currentRun(state).delay;
    // The ring holds the longest delay, so the dividend is never negative.
    const std::int32_t r = (state.writePos - d + state.ringSize) % state.ringSize;
    const std::int32_t mix = static_cast<std::int32_t>(state.ring[static_cast<std::size_t>(r)]) + s;
    state.lfoCounter = (state.lfoCounter + 1) % state.sweep.wrap;
    return limitMix(mix);
}

void advanceRing(ChorusState& state) {
    state.writePos = (state.writePos + 1) % state.ringSize;
}

void processBlock(ChorusState& state, const std::int16_t* in, std::int16_t* out, std::size_t n) {
    if (n == 0) {
        return;
    }
    const auto ringSize = static_cast<std::size_t>(state.ringSize);
    const std::int16_t* ring = state.ring.data();
    const auto start = static_cast<std::size_t>(state.writePos);
    std::size_t k = 0;
    while (k < n) {
        const DelayRun& run = currentRun(state);
        const auto d = static_cast<std::size_t>(run.delay);
        const std::size_t runEnd =
            k + std::min(n - k, static_cast<std::size_t>(run.end - state.lfoCounter));
        const std::size_t runStart = k;
        // The first d values of the block tap values stored before it. The ring
        // is updated only after the block, so they are all still there; the span
        // is split where it wraps round the end of the ring.
        while (k < runEnd && k < d) {
            const std::size_t from = (start + ringSize + k - d) % ringSize;
            const std::size_t count = std::min({runEnd, d, k + (ringSize - from)}) - k;
            mixInto(in + k, ring + from, out + k, count);
            k += count;
        }
        // Later values tap the block itself.
        if (k < runEnd) {
            mixInto(in + k, in + k - d, out + k, runEnd - k);
            k = runEnd;
        }
        // A run ends at the wrap at the latest, so the counter reaches it exactly.
        state.lfoCounter += static_cast<std::int32_t>(runEnd - runStart);
        if (state.lfoCounter == state.sweep.wrap) {
            state.lfoCounter = 0;
        }
    }

    // The ring keeps the block's last values, where value by value would have put them.
    const std::size_t keep = std::min(n, ringSize);
    const std::int16_t* kept = in + (n - keep);
    const std::size_t pos = (start + (n - keep)) % ringSize;
    const std::size_t first = std::min(keep, ringSize - pos);
    std::memcpy(state.ring.data() + pos, kept, first * sizeof(std::int16_t));
    std::memcpy(state.ring.data(), kept + first, (keep - first) * sizeof(std::int16_t));
    state.writePos = static_cast<std::int32_t>((start + n) % ringSize);
}

} // namespace mavrel
