#include "ChorusState.h"

#include "ChorusConstants.h"
#include "LimiterTable.h"
#include "WideMix.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace mavrel {

using namespace chorus_constants;

namespace {

// The delay run that holds the oscillator's current frame: the one that follows
// the run before it, kept or found. Runs are kept while they follow on from the
// cycle's frame 0 and there is room.
const DelayRun& currentRun(ChorusState& state) {
    const std::int32_t c = state.lfoCounter;
    if (c >= state.run.start && c < state.run.end) {
        return state.run;
    }
    // The first of a cycle, or the one after the current (kNoKnownRun + 1 is 0).
    const std::size_t next = c == 0 ? 0 : state.knownIndex + 1;
    const auto startsHere = [&state, c](std::size_t k) {
        return k == 0 ? c == 0 : state.knownRuns[k - 1].end == c;
    };
    if (next < state.knownCount && startsHere(next)) {
        const KnownRun& known = state.knownRuns[next];
        state.run = DelayRun{c, known.end, known.delay};
        state.knownIndex = next;
        return state.run;
    }
    state.run = findDelayRun(state.sweep, c, state.run);
    if (next == state.knownCount && startsHere(next) && state.knownCount < state.knownRuns.size()) {
        state.knownRuns[state.knownCount] = KnownRun{state.run.end, state.run.delay};
        state.knownIndex = state.knownCount++;
    } else {
        state.knownIndex = kNoKnownRun;
    }
    return state.run;
}

// The limited and quantised mixes dry[DryStride x k] + tap[TapStride x k], for
// k < n, each written DryStride times: out[DryStride x k + c] for c < DryStride.
// A stereo frame's first value is mixed and its result written over the whole
// frame; a mono value is mixed and written once.
template <std::size_t DryStride, std::size_t TapStride>
void mixInto(const std::int16_t* dry, const std::int16_t* tap, std::int16_t* out, std::size_t n) {
    // Indexed by the mix itself. Each entry is its output + 32768, so flipping the
    // top bit gives the output; an entry not yet computed (0) gives -32768, which
    // the limiter never outputs.
    const LimiterEntry* entries = limiterEntries() - kMixMin;
    const auto mix = [dry, tap](std::size_t k) {
        return static_cast<std::ptrdiff_t>(dry[DryStride * k]) +
               static_cast<std::ptrdiff_t>(tap[TapStride * k]);
    };
    // In groups of 128, each in two passes without a branch: the look-ups, one
    // load each, into the group's own entries; then (vectorised) the top bit, the
    // copies of a frame and the search for an entry not yet computed, which is
    // then looked for in its group alone.
    constexpr std::size_t kGroup = 128;
    LimiterValue e[kGroup];
    for (std::size_t group = 0; group < n; group += kGroup) {
        const std::size_t m = std::min(kGroup, n - group);
        const std::int16_t* gd = dry + DryStride * group;
        const std::int16_t* gt = tap + TapStride * group;
        const auto lookUp = [&](std::size_t k) {
            e[k] = entries[static_cast<std::ptrdiff_t>(gd[DryStride * k]) +
                           static_cast<std::ptrdiff_t>(gt[TapStride * k])]
                       .load(std::memory_order_relaxed);
        };
        std::size_t k = 0;
        for (; k + 8 <= m; k += 8) {
            lookUp(k);
            lookUp(k + 1);
            lookUp(k + 2);
            lookUp(k + 3);
            lookUp(k + 4);
            lookUp(k + 5);
            lookUp(k + 6);
            lookUp(k + 7);
        }
        for (; k < m; ++k) {
            lookUp(k);
        }
        std::int16_t* g = out + DryStride * group;
        const auto finish = [&](std::size_t count) {
            std::int16_t lowest = 0;
            for (std::size_t j = 0; j < count; ++j) {
                const auto v =
                    static_cast<std::int16_t>(static_cast<std::uint16_t>(e[j]) ^ 0x8000U);
                lowest = std::min(lowest, v);
                for (std::size_t c = 0; c < DryStride; ++c) {
                    g[DryStride * j + c] = v;
                }
            }
            return lowest;
        };
        // A group of the full size has a count the compiler knows.
        const std::int16_t lowest = m == kGroup ? finish(kGroup) : finish(m);
        if (lowest == std::numeric_limits<std::int16_t>::min()) [[unlikely]] {
            for (k = 0; k < m; ++k) {
                if (g[DryStride * k] == std::numeric_limits<std::int16_t>::min()) {
                    const std::int16_t v =
                        fillLimiterEntry(static_cast<std::int32_t>(mix(group + k)));
                    for (std::size_t c = 0; c < DryStride; ++c) {
                        g[DryStride * k + c] = v;
                    }
                }
            }
        }
    }
}

// The mixes of one slice of a run: eight at a time where the processor has the
// wide mix, the rest as above.
template <std::size_t DryStride, std::size_t TapStride>
void mixSlice(bool wide, const std::int16_t* dry, const std::int16_t* tap, std::int16_t* out,
              std::size_t n) {
    const std::size_t done = wide ? mixWide<DryStride, TapStride>(dry, tap, out, n) : 0;
    mixInto<DryStride, TapStride>(dry + DryStride * done, tap + TapStride * done,
                                  out + DryStride * done, n - done);
}

// processBlock and processFrames: the dry values are in[Stride x k], and each
// output is written Stride times.
template <std::size_t Stride>
void processStrided(ChorusState& state, const std::int16_t* in, std::int16_t* out, std::size_t n) {
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
            mixSlice<Stride, 1>(state.wideMix, in + Stride * k, ring + from, out + Stride * k,
                                count);
            k += count;
        }
        // Later values tap the block itself: within a run, a contiguous slice.
        if (k < runEnd) {
            mixSlice<Stride, Stride>(state.wideMix, in + Stride * k, in + Stride * (k - d),
                                     out + Stride * k, runEnd - k);
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
    const std::int16_t* kept = in + Stride * (n - keep);
    const std::size_t pos = (start + (n - keep)) % ringSize;
    const std::size_t first = std::min(keep, ringSize - pos);
    if constexpr (Stride == 1) {
        std::memcpy(state.ring.data() + pos, kept, first * sizeof(std::int16_t));
        std::memcpy(state.ring.data(), kept + first, (keep - first) * sizeof(std::int16_t));
    } else {
        // In two spans, split where the ring wraps: each a loop without a branch.
        std::int16_t* r = state.ring.data();
        for (std::size_t j = 0; j < first; ++j) {
            r[pos + j] = kept[Stride * j];
        }
        for (std::size_t j = first; j < keep; ++j) {
            r[j - first] = kept[Stride * j];
        }
    }
    state.writePos = static_cast<std::int32_t>((start + n) % ringSize);
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
    state.wideMix = wideMixAvailable();
    return state;
}

void keepDelayRuns(ChorusState& state) {
    // About four runs per sample of depth in a cycle (one per step of the delay,
    // each passed four times), and some to spare: at 44.1 kHz, 1,771 runs of room
    // for 1,942 (16 KB); at 768 kHz, 30,817 of 32,708 (262 KB).
    const auto depth = static_cast<std::size_t>(state.sweep.depth) + 1;
    state.knownRuns.resize(4 * depth + depth / 4 + 64);
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
    processStrided<1>(state, in, out, n);
}

void processFrames(ChorusState& state, const std::int16_t* frames, std::int16_t* out,
                   std::size_t n) {
    processStrided<2>(state, frames, out, n);
}

} // namespace mavrel
