// The swept delay, computed cheaply and exactly. The direct computation takes a
// sine per frame, but the truncated delay changes at most once in about 159
// frames at any rate (the sweep moves at most depth x phase factor / rate =
// 0.01 x 0.6283 = 0.0063 samples per frame). A run is a stretch of oscillator
// frames over which the truncated delay is proven to stay the same, so the sine
// is taken about twice per change of the delay instead of once per frame.
#pragma once

#include <cstdint>

namespace mavrel {

// What the sweep is at one rate: everything a run is found with, derived from
// the rate once.
struct DelaySweep {
    double rate = 0.0;           // the sample rate as a double
    double baseDelay = 0.0;      // centre delay in samples (25 ms)
    double depth = 0.0;          // sweep depth in samples (10 ms)
    double omega = 0.0;          // phase factor / rate: the phase step per frame
    std::int32_t firstTurn = 0;  // the last frame before the phase passes pi/2
    std::int32_t secondTurn = 0; // the last frame before it passes 3 pi/2
    std::int32_t wrap = 0;       // 10 x rate: the oscillator's cycle in frames
};

// The sweep at a rate of 1 to WAVCHORUS_MAX_RATE Hz.
DelaySweep makeDelaySweep(std::int32_t sampleRate);

struct DelayRun {
    std::int32_t start = 0; // first oscillator frame (lfoCounter) of the run
    std::int32_t end = 0;   // one past the last frame; never beyond the wrap
    std::int32_t delay = 0; // the truncated delay at every frame of the run
    // Set when the run was proven with the direct computation's value at its end
    // frame, which starts the next run: that value and its sine are kept here so
    // that the next run need not compute them again.
    bool handsOver = false;
    double endValue = 0.0;
    double endSine = 0.0;
};

// The run that starts at lfoCounter (0 <= lfoCounter < wrap). Its delay is
// what the direct computation gives for that frame,
//   (int32) (depth x sin((lfoCounter x phase factor) / rate) + baseDelay),
// and the direct computation gives the same for every frame up to its end.
DelayRun findDelayRun(const DelaySweep& sweep, std::int32_t lfoCounter);

// The same, taking over what the previous run handed over when it ended at
// lfoCounter.
DelayRun findDelayRun(const DelaySweep& sweep, std::int32_t lfoCounter, const DelayRun& previous);

// The same, with the run's last frame guessed by the caller rather than
// predicted: the run found ends at most one frame past the guess, and is exact
// however wrong the guess. For tests of the proof.
DelayRun findDelayRunWithGuess(const DelaySweep& sweep, std::int32_t lfoCounter,
                               std::int32_t guess);

} // namespace mavrel
