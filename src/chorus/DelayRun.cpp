#include "DelayRun.h"

#include "ChorusConstants.h"

#include <algorithm>
#include <cmath>

// Why a run is exact. Let f(c) = baseDelay + depth x sin(c x phase factor / rate)
// in real arithmetic. The direct computation v(c) differs from f(c) only by its
// roundings (the phase, the sine, the product, the sum): less than 1e-10 samples
// even at the highest rate, with any sine accurate to a few units in the last
// place. f is monotonic on each quarter of the cycle's phase: rising up to pi/2,
// falling to 3 pi/2, rising again to the wrap. So if v is more than kMargin above
// the integer d and more than kMargin below d + 1 at two frames of one such piece,
// then every frame between them lies between those two values, give or take the
// roundings, and truncates to d in the direct computation as well. The run is
// found by predicting the first frame of the next delay and computing v there.
// Usually v has just passed the integer, by less than the least step that f can
// take between that frame and the one before; then the one before lies in the
// band, and v at the new frame starts the next run. Otherwise v is computed at
// the frame before as well. A frame nearer than kMargin to an integer forms a run
// by itself.

namespace mavrel {
namespace {

using namespace chorus_constants;

// Some ten thousand times the largest rounding of the direct computation.
constexpr double kMargin = 0x1p-20;
constexpr double kHalfPi = 1.5707963267948966; // the full-precision pi / 2

double phaseOf(const DelaySweep& sweep, std::int32_t lfoCounter) {
    // The multiplication first, then the division, each rounded to double.
    return (static_cast<double>(lfoCounter) * kPhaseFactor) / sweep.rate;
}

double delayValue(const DelaySweep& sweep, std::int32_t lfoCounter) {
    return sweep.depth * std::sin(phaseOf(sweep, lfoCounter)) + sweep.baseDelay;
}

// The last frame of the monotonic piece that holds lfoCounter, and whether f
// rises on it.
std::int32_t pieceEnd(const DelaySweep& sweep, std::int32_t lfoCounter, bool& rising) {
    if (lfoCounter <= sweep.firstTurn) {
        rising = true;
        return sweep.firstTurn;
    }
    if (lfoCounter <= sweep.secondTurn) {
        rising = false;
        return sweep.secondTurn;
    }
    rising = true;
    return sweep.wrap - 1;
}

bool inside(double value, std::int32_t delay) {
    return value > delay + kMargin && value < delay + 1 - kMargin;
}

} // namespace

DelaySweep makeDelaySweep(std::int32_t sampleRate) {
    const double rate = sampleRate;
    DelaySweep sweep;
    sweep.rate = rate;
    // Products of the rate and the factors, not rounded further.
    sweep.baseDelay = rate * kCentreFactor;
    sweep.depth = rate * kDepthFactor;
    sweep.wrap = 10 * sampleRate;
    sweep.omega = kPhaseFactor / rate;
    // The pieces end at the last frame before the phase passes pi/2 and 3 pi/2. A
    // frame put on the wrong side of a turn by the rounding here (1e-8 frames at
    // most) is off the monotonic curve by some 1e-20 samples.
    const double quarter = kHalfPi * rate / kPhaseFactor;
    sweep.firstTurn = static_cast<std::int32_t>(quarter);
    sweep.secondTurn = static_cast<std::int32_t>(3 * quarter);
    return sweep;
}

namespace {

// The frame's delay value and its sine: taken from the previous run when that
// run computed them for this frame, else computed.
double startValue(const DelaySweep& sweep, std::int32_t lfoCounter, const DelayRun* previous,
                  double& sine) {
    if (previous != nullptr && previous->handsOver && previous->end == lfoCounter) {
        sine = previous->endSine;
        return previous->endValue;
    }
    sine = std::sin(phaseOf(sweep, lfoCounter));
    return sweep.depth * sine + sweep.baseDelay;
}

DelayRun findRun(const DelaySweep& sweep, std::int32_t lfoCounter, std::int32_t guess,
                 const DelayRun* previous) {
    double s = 0.0;
    const double value = startValue(sweep, lfoCounter, previous, s);
    // The value is at least baseDelay - depth > 0, so truncation is the floor.
    const auto delay = static_cast<std::int32_t>(value);
    DelayRun run{lfoCounter, lfoCounter + 1, delay};
    bool rising = true;
    const std::int32_t last = pieceEnd(sweep, lfoCounter, rising);
    if (last == lfoCounter || !inside(value, delay)) {
        return run;
    }

    const double gap = rising ? delay + 1 - kMargin - value : value - delay - kMargin;
    const double omega = sweep.omega;
    // The run's last frame, guessed: given, or predicted from the slope and
    // curvature here (progress ahead ~ slope k + curve k^2). Only the speed of the
    // search depends on the guess, not the result.
    std::int32_t guessed = last;
    if (guess >= 0) {
        guessed = std::clamp(guess, lfoCounter, last);
    } else {
        const double slope = sweep.depth * omega * std::sqrt(std::max(0.0, 1 - s * s));
        const double curve = (rising ? -s : s) * sweep.depth * omega * omega / 2;
        const double disc = slope * slope + 4 * curve * gap;
        const double denominator = slope + std::sqrt(std::max(0.0, disc));
        const double ahead = disc >= 0 && denominator > 0 ? 2 * gap / denominator : 1e18;
        if (ahead < static_cast<double>(last - lfoCounter)) {
            guessed = lfoCounter + static_cast<std::int32_t>(ahead);
        }
    }

    std::int32_t end = guessed;
    if (guessed < last) {
        // The frame after the guess: usually the first of the next delay.
        const std::int32_t next = guessed + 1;
        const double nextSine = std::sin(phaseOf(sweep, next));
        const double nextValue = sweep.depth * nextSine + sweep.baseDelay;
        if (inside(nextValue, delay)) {
            // Guessed too short: the two values prove the run up to next.
            run.end = next + 1;
            return run;
        }
        // The value at next has passed the integer. The frame before it is in the
        // band if the step between them is larger than the overshoot: on a
        // monotonic piece the step is at least depth x omega x (|cos| at next, less
        // omega for the turn of the cosine within the step, less 1e-7 for taking
        // |cos| from the sine).
        const double overshoot = rising ? nextValue - (delay + 1) : delay - nextValue;
        const double leastStep = sweep.depth * omega *
                                 (std::sqrt(std::max(0.0, 1 - nextSine * nextSine)) - omega - 1e-7);
        if (overshoot >= 0 && overshoot <= leastStep - kMargin) {
            run.end = next;
            run.handsOver = true;
            run.endSine = nextSine;
            run.endValue = nextValue;
            return run;
        }
    }

    // Prove the guess with the exact value there; when the guess went too far,
    // move it back along the chord. Each step moves it back, so this ends.
    while (end > lfoCounter) {
        const double endValue = delayValue(sweep, end);
        if (inside(endValue, delay)) {
            run.end = end + 1;
            return run;
        }
        // At most 1, also where rounding puts the value a hair outside the far edge.
        const double fraction = std::min(1.0, gap / std::abs(endValue - value));
        const auto back = lfoCounter + static_cast<std::int32_t>(
                                           static_cast<double>(end - lfoCounter) * fraction);
        end = std::min(back, end - 1);
    }
    return run;
}

} // namespace

DelayRun findDelayRun(const DelaySweep& sweep, std::int32_t lfoCounter) {
    return findRun(sweep, lfoCounter, -1, nullptr);
}

DelayRun findDelayRun(const DelaySweep& sweep, std::int32_t lfoCounter, const DelayRun& previous) {
    return findRun(sweep, lfoCounter, -1, &previous);
}

DelayRun findDelayRunWithGuess(const DelaySweep& sweep, std::int32_t lfoCounter,
                               std::int32_t guess) {
    return findRun(sweep, lfoCounter, guess, nullptr);
}

} // namespace mavrel
