// The swept delay, found in runs, against the direct sine for every frame of one
// whole oscillator cycle.
#include "DelayRun.h"
#include "ChorusState.h"
#include "DirectChorus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>

namespace {

class WholeCycle : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(WholeCycle, EveryFrameHasTheDirectDelay) {
    const std::int32_t rate = GetParam();
    const mavrel::ChorusState state = mavrel::setUpChorus(rate);
    const std::int32_t wrap = 10 * rate;
    std::int64_t runs = 0;
    int mismatches = 0;
    for (std::int32_t c = 0; c < wrap;) {
        const mavrel::DelayRun run = mavrel::findDelayRun(state, c);
        ASSERT_EQ(run.start, c);
        ASSERT_GT(run.end, c);
        ASSERT_LE(run.end, wrap) << "a run crosses the wrap at frame " << c;
        for (std::int32_t f = c; f < run.end; ++f) {
            const std::int32_t expected = direct::delayAt(rate, f);
            if (run.delay != expected && ++mismatches <= 10) {
                ADD_FAILURE() << rate << " Hz, frame " << f << " (run " << run.start << "-"
                              << run.end << "): delay " << run.delay << ", direct " << expected;
            }
        }
        ASSERT_LE(run.delay, state.ringSize - 1) << "the ring must hold the delay";
        c = run.end;
        ++runs;
    }
    EXPECT_EQ(mismatches, 0);
    // The delay passes each value between its lowest and highest twice a cycle,
    // about 4 x depth changes: a run per change is the design, a run per frame
    // would be a fault.
    if (rate >= 8000) {
        EXPECT_LT(runs, 12 * state.depth + 100) << rate << " Hz";
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, WholeCycle,
                         ::testing::Values(8000, 11025, 22050, 44100, 48000, 57142, 96000, 192000));
// The lowest rates (delays of 0 and 1, a centre delay of exactly 1 at 40 Hz), the
// first rate whose ring must exceed 2000 values, and the highest rate.
INSTANTIATE_TEST_SUITE_P(EdgeRates, WholeCycle,
                         ::testing::Values(1, 2, 3, 39, 40, 41, 57143, 768000));

TEST(DelayRun, ACounterMovedFromOutsideTakesTheDelayThere) {
    mavrel::ChorusState state = mavrel::setUpChorus(44100);
    for (int k = 0; k < 2000; ++k) {
        mavrel::processValue(state, static_cast<std::int16_t>(k * 16 - 16000));
        mavrel::advanceRing(state);
    }
    // Forward and back across the cycle, where each delay differs from the last.
    for (const std::int32_t counter : {330750, 110250, 220500, 0, 440999, 1}) {
        state.lfoCounter = counter;
        const std::int16_t s = 1234;
        const std::int32_t d = direct::delayAt(44100, counter);
        const std::int32_t r = (state.writePos - d + state.ringSize) % state.ringSize;
        const std::int16_t tap = state.ring[static_cast<std::size_t>(r)];
        EXPECT_EQ(mavrel::processValue(state, s), direct::limit(tap, s))
            << "lfoCounter " << counter;
        mavrel::advanceRing(state);
    }
}

TEST(DelayRun, AnyGuessOfTheEndGivesAnExactRun) {
    // Guesses far past the change of delay make the proof fall back along the
    // chord, which the predicted guesses, being close, hardly ever need.
    for (const std::int32_t rate : {8000, 44100, 48000}) {
        const mavrel::ChorusState state = mavrel::setUpChorus(rate);
        std::mt19937 gen(static_cast<std::uint32_t>(rate));
        int mismatches = 0;
        for (int trial = 0; trial < 3000; ++trial) {
            const auto start =
                static_cast<std::int32_t>(gen() % static_cast<std::uint32_t>(10 * rate));
            const auto guess = start + static_cast<std::int32_t>(gen() % 20000);
            const mavrel::DelayRun run = mavrel::findDelayRun(state, start, guess);
            ASSERT_EQ(run.start, start);
            ASSERT_GT(run.end, start);
            ASSERT_LE(run.end, std::min(guess + 1, 10 * rate));
            for (std::int32_t f = start; f < run.end; ++f) {
                if (run.delay != direct::delayAt(rate, f) && ++mismatches <= 10) {
                    ADD_FAILURE() << rate << " Hz, run " << start << "-" << run.end
                                  << " guessed to " << guess << ": wrong delay at " << f;
                }
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

} // namespace
