// The fast engine against the straightforward computation over whole streams of
// random input, through blocks of values and of stereo frames of every size and
// single values mixed.
#include "ChorusState.h"
#include "ReferenceChorus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

// Full-scale noise, with stretches of silence, of a constant and of the extremes,
// so that every part of the limiter table and the start of the ring are met.
std::vector<std::int16_t> randomInput(std::size_t n, std::uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> value(-32768, 32767);
    std::uniform_int_distribution<int> kind(0, 99);
    std::vector<std::int16_t> v(n);
    for (std::size_t k = 0; k < n;) {
        const std::size_t stretch = std::min<std::size_t>(n - k, 1 + gen() % 3000);
        const int what = kind(gen);
        for (std::size_t j = 0; j < stretch; ++j, ++k) {
            if (what < 80) {
                v[k] = static_cast<std::int16_t>(value(gen));
            } else if (what < 88) {
                v[k] = 0;
            } else if (what < 94) {
                v[k] = static_cast<std::int16_t>(gen() % 2 == 0 ? -32768 : 32767);
            } else {
                v[k] = static_cast<std::int16_t>(what * 300);
            }
        }
    }
    return v;
}

struct Stream {
    std::int32_t rate;
    std::size_t frames;
};

class WholeStream : public ::testing::TestWithParam<Stream> {};

TEST_P(WholeStream, FastEngineMatchesTheDirectComputation) {
    const Stream p = GetParam();
    const std::vector<std::int16_t> in = randomInput(p.frames, static_cast<std::uint32_t>(p.rate));
    std::vector<std::int16_t> expected(p.frames);
    testing_support::ReferenceChorus reference(p.rate);
    for (std::size_t k = 0; k < p.frames; ++k) {
        expected[k] = reference.process(in[k]);
    }

    // The same values as the first of stereo frames whose second values differ.
    std::vector<std::int16_t> frames(2 * p.frames);
    for (std::size_t k = 0; k < p.frames; ++k) {
        frames[2 * k] = in[k];
        frames[2 * k + 1] = static_cast<std::int16_t>(~in[k]);
    }
    std::vector<std::int16_t> outFrames(2 * p.frames);

    // The wide mix where the processor has it (first, so that it meets entries of
    // the limiter table not yet computed), and the plain loop keeping the delay
    // runs of the cycle for the next.
    for (const bool wide : {true, false}) {
        SCOPED_TRACE(wide ? "wide mix" : "plain loop, runs kept");
        mavrel::ChorusState state = mavrel::setUpChorus(p.rate);
        state.wideMix = wide && state.wideMix;
        if (!wide) {
            mavrel::keepDelayRuns(state);
        }
        std::vector<std::int16_t> out(p.frames);
        int unequalPairs = 0; // stereo frames whose two outputs differ
        std::mt19937 gen(7);
        for (std::size_t k = 0; k < p.frames;) {
            // Blocks from 1 value to well past the ring's size, of values or of stereo
            // frames; now and then a stretch of single values instead.
            const std::size_t n = std::min<std::size_t>(p.frames - k, 1 + gen() % 9000);
            const std::uint32_t how = gen() % 8;
            if (how == 0) {
                for (std::size_t j = k; j < k + n; ++j) {
                    out[j] = mavrel::processValue(state, in[j]);
                    mavrel::advanceRing(state);
                }
            } else if (how < 4) {
                mavrel::processFrames(state, frames.data() + 2 * k, outFrames.data() + 2 * k, n);
                for (std::size_t j = k; j < k + n; ++j) {
                    out[j] = outFrames[2 * j];
                    unequalPairs += outFrames[2 * j + 1] != out[j] ? 1 : 0;
                }
            } else {
                mavrel::processBlock(state, in.data() + k, out.data() + k, n);
            }
            k += n;
        }

        int mismatches = 0;
        for (std::size_t k = 0; k < p.frames; ++k) {
            if (out[k] != expected[k] && ++mismatches <= 10) {
                ADD_FAILURE() << p.rate << " Hz, frame " << k << ": fast " << out[k] << ", direct "
                              << expected[k];
            }
        }
        EXPECT_EQ(mismatches, 0);
        EXPECT_EQ(unequalPairs, 0);
        EXPECT_EQ(state.writePos,
                  static_cast<std::int32_t>(p.frames % static_cast<std::size_t>(state.ringSize)));
        EXPECT_EQ(state.lfoCounter,
                  static_cast<std::int32_t>(p.frames % (10 * static_cast<std::size_t>(p.rate))));
    }
}

// A whole oscillator cycle and a little more at the common rates, past the wrap;
// part of a cycle at the highest rates.
INSTANTIATE_TEST_SUITE_P(Rates, WholeStream,
                         ::testing::Values(Stream{8000, 81234}, Stream{11025, 112000},
                                           Stream{44100, 443000}, Stream{48000, 200000},
                                           Stream{57143, 200000}, Stream{96000, 150000},
                                           Stream{768000, 100000}, Stream{1, 95}, Stream{40, 1234}),
                         [](const ::testing::TestParamInfo<Stream>& info) {
                             return std::to_string(info.param.rate) + "Hz";
                         });

TEST(FastEngine, ACopiedStateContinuesAsTheOriginal) {
    const std::vector<std::int16_t> in = randomInput(20000, 3);
    mavrel::ChorusState state = mavrel::setUpChorus(22050);
    std::vector<std::int16_t> out(in.size());
    mavrel::processBlock(state, in.data(), out.data(), 10000);
    mavrel::ChorusState copy = state;
    std::vector<std::int16_t> a(10000);
    std::vector<std::int16_t> b(10000);
    mavrel::processBlock(state, in.data() + 10000, a.data(), 10000);
    mavrel::processBlock(copy, in.data() + 10000, b.data(), 10000);
    EXPECT_EQ(a, b);
}

TEST(FastEngine, AnEmptyBlockChangesNothing) {
    mavrel::ChorusState state = mavrel::setUpChorus(44100);
    mavrel::processBlock(state, nullptr, nullptr, 0);
    EXPECT_EQ(state.writePos, 0);
    EXPECT_EQ(state.lfoCounter, 0);
    EXPECT_EQ(mavrel::processValue(state, 16384), 9671);
}

} // namespace
