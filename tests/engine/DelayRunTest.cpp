// The swept delay, found in runs, against the direct sine for every frame of one
// whole oscillator cycle.
#include "DelayRun.h"
#include "ChorusState.h"
#include "ReferenceChorus.h"

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
    // Run after run, as the engine finds them, each taking over what the last
    // handed over.
    mavrel::DelayRun run;
    for (std::int32_t c = 0; c < wrap;) {
        run = c == 0 ? mavrel::findDelayRun(state.sweep, c)
                     : mavrel::findDelayRun(state.sweep, c, run);
        ASSERT_EQ(run.start, c);
        ASSERT_GT(run.end, c);
        ASSERT_LE(run.end, wrap) << "a run crosses the wrap at frame " << c;
        for (std::int32_t f = c; f < run.end; ++f) {
            const std::int32_t expected = testing_support::referenceDelay(rate, f);
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
        EXPECT_LT(static_cast<double>(runs), 6 * state.sweep.depth + 100) << rate << " Hz";
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
        const std::int32_t d = testing_support::referenceDelay(44100, counter);
        const std::int32_t r = (state.writePos - d + state.ringSize) % state.ringSize;
        const std::int16_t tap = state.ring[static_cast<std::size_t>(r)];
        EXPECT_EQ(mavrel::processValue(state, s), testing_support::referenceMix(s, tap))
            << "lfoCounter " << counter;
        mavrel::advanceRing(state);
    }
}

TEST(DelayRun, ARunFoundFromAnyFrameIsExact) {
    // Without a previous run to take over from, as after the counter was moved.
    for (const std::int32_t rate : {8000, 44100, 192000}) {
        const mavrel::ChorusState state = mavrel::setUpChorus(rate);
        std::mt19937 gen(static_cast<std::uint32_t>(rate) + 1);
        int mismatches = 0;
        for (int trial = 0; trial < 2000; ++trial) {
            const auto start =
                static_cast<std::int32_t>(gen() % static_cast<std::uint32_t>(10 * rate));
            const mavrel::DelayRun run = mavrel::findDelayRun(state.sweep, start);
            ASSERT_EQ(run.start, start);
            ASSERT_GT(run.end, start);
            for (std::int32_t f = start; f < run.end; ++f) {
                if (run.delay != testing_support::referenceDelay(rate, f) && ++mismatches <= 10) {
                    ADD_FAILURE() << rate << " Hz, run " << start << "-" << run.end
                                  << ": wrong delay at " << f;
                }
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(DelayRun, AnyGuessOfTheEndGivesAnExactRun) {
    // Guesses far off, and guesses a few frames either side of the true end: the
    // predicted guesses are so close that the proof's other branches hardly ever
    // run otherwise.
    for (const std::int32_t rate : {8000, 44100, 48000}) {
        const mavrel::ChorusState state = mavrel::setUpChorus(rate);
        const std::int32_t wrap = 10 * rate;
        std::mt19937 gen(static_cast<std::uint32_t>(rate));
        int mismatches = 0;
        for (int trial = 0; trial < 3000; ++trial) {
            const auto start = static_cast<std::int32_t>(gen() % static_cast<std::uint32_t>(wrap));
            std::int32_t guess = start + static_cast<std::int32_t>(gen() % 20000);
            if (trial % 2 == 0) {
                const std::int32_t d = testing_support::referenceDelay(rate, start);
                std::int32_t change = start + 1;
                while (change < wrap && testing_support::referenceDelay(rate, change) == d) {
                    ++change;
                }
                guess = std::max(start, change - 1 + static_cast<std::int32_t>(gen() % 7) - 3);
            }
            const mavrel::DelayRun run = mavrel::findDelayRunWithGuess(state.sweep, start, guess);
            ASSERT_EQ(run.start, start);
            ASSERT_GT(run.end, start);
            ASSERT_LE(run.end, std::min(guess + 2, wrap));
            for (std::int32_t f = start; f < run.end; ++f) {
                if (run.delay != testing_support::referenceDelay(rate, f) && ++mismatches <= 10) {
                    ADD_FAILURE() << rate << " Hz, run " << start << "-" << run.end
                                  << " guessed to " << guess << ": wrong delay at " << f;
                }
            }
            if (run.handsOver) {
                const mavrel::DelayRun handed = mavrel::findDelayRun(state.sweep, run.end);
                const mavrel::DelayRun taken = mavrel::findDelayRun(state.sweep, run.end, run);
                EXPECT_EQ(taken.delay, handed.delay);
                EXPECT_EQ(taken.end, handed.end);
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

} // namespace
