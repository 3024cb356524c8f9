// The signal path: one delay tap swept by a 0.1 Hz sine, added to the dry value,
// an arctangent soft limiter and quantisation back to 16 bits.
//
// Every output is bit for bit what the direct double-precision computation gives
// with the platform's sine and arctangent:
//   x = s x 2^-15, stored in the ring before the tap is read;
//   d = (int32) (depth x sin((lfoCounter x phase factor) / rate) + baseDelay);
//   y = ring[writePos - d] + x;
//   out = (int16) (int32) (atan(y) x limiter gain x 32767).
// It gets there by cheaper means: the ring holds the 16-bit input values, the
// delay is taken in runs over which it is proven constant (DelayRun.h), and the
// limiter and quantiser are a table over the integer mix (LimiterTable.h), which
// every call of the process shares.
#pragma once

#include "DelayRun.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mavrel {

// knownIndex when state.run is not among the known runs.
inline constexpr std::size_t kNoKnownRun = static_cast<std::size_t>(-1);

// A delay run as kept for later cycles of the oscillator; it starts where the
// one before it ends, the first at frame 0.
struct KnownRun {
    std::int32_t end = 0;
    std::int32_t delay = 0;
};

struct ChorusState {
    // The last ringSize input values, as read: the normalised value is the
    // 16-bit value times 2^-15, which the limiter table takes into account.
    std::vector<std::int16_t> ring;
    std::int32_t ringSize = 0;
    std::int32_t writePos = 0;   // where the current value is stored
    std::int32_t lfoCounter = 0; // oscillator phase in frames, wraps at sweep.wrap
    std::int32_t sampleRate = 0;
    DelaySweep sweep;     // baseDelay, depth and what the delay runs are found with
    DelayRun run;         // the delay run that holds lfoCounter, once found
    bool wideMix = false; // the processor runs the wide mix (WideMix.h)
    // The runs of the oscillator's cycle in order from its frame 0, as far as they
    // have been found, where keepDelayRuns gave them room: every cycle is the
    // same, so later cycles take their runs from here. knownCount of the room's
    // runs are found; knownIndex is the one that is state.run, or kNoKnownRun.
    std::vector<KnownRun> knownRuns;
    std::size_t knownCount = 0;
    std::size_t knownIndex = kNoKnownRun;
};

// The ring size for a rate: it holds the longest delay the oscillator can reach
// at that rate, so the tap always reads a value stored earlier, and never fewer
// than 2000 values. Below 57,143 Hz that is 2000.
std::int32_t chorusRingSize(std::int32_t sampleRate);

// Sets up the state for a rate of 1 to WAVCHORUS_MAX_RATE Hz. Allocates the ring;
// processing allocates nothing.
ChorusState setUpChorus(std::int32_t sampleRate);

// Gives the state room to keep the delay runs of one oscillator cycle, for a
// stream longer than a cycle (10 x rate frames): later cycles then take their
// runs from there. Allocates; the outputs are the same either way.
void keepDelayRuns(ChorusState& state);

// Processes one value: the dry value enters the ring, the tap is mixed in,
// limited and quantised. Advances the oscillator but not the ring, which the
// streaming loop advances once the frame is written (advanceRing).
std::int16_t processValue(ChorusState& state, std::int16_t s);

void advanceRing(ChorusState& state);

// Processes n values as n calls of processValue, each followed by advanceRing,
// would: out[k] is the output for in[k]. in and out must not overlap.
void processBlock(ChorusState& state, const std::int16_t* in, std::int16_t* out, std::size_t n);

// Processes n stereo frames: the first value of each goes through the chorus as
// processBlock would take it, and its output is written over both values of the
// frame (out[2k] and out[2k + 1], from frames[2k]). The frames' second values are
// not read. frames and out must not overlap.
void processFrames(ChorusState& state, const std::int16_t* frames, std::int16_t* out,
                   std::size_t n);

} // namespace mavrel
