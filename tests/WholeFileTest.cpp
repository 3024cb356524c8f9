// Whole output files against the independent model, over rates, channel counts
// and the ways an input can end.
#include "CallHelper.h"
#include "ReferenceChorus.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

struct Case {
    std::string name;
    WavSpec wav;
};

void expectMatchesModel(const Case& c) {
    TempDir dir;
    const Bytes input = makeWav(c.wav);
    writeBytes(dir / "in.wav", input);
    const CallResult r = callWAVChorus(dir / "in.wav", dir / "out.wav");
    ASSERT_EQ(r.code, WAVCHORUS_OK) << c.name << ": " << r.err;
    const ModelResult expected = referenceChorus(input);
    const Bytes actual = readBytes(dir / "out.wav");
    ASSERT_EQ(actual.size(), expected.output.size()) << c.name;
    for (std::size_t k = 0; k < actual.size(); ++k) {
        ASSERT_EQ(actual[k], expected.output[k]) << c.name << ": first difference at byte " << k;
    }
    EXPECT_EQ(r.out, expected.report) << c.name;
    EXPECT_EQ(r.err, "") << c.name;
}

WavSpec wav(std::uint16_t channels, std::int32_t rate, std::size_t values, std::uint32_t seed) {
    WavSpec s;
    s.channels = channels;
    s.sampleRate = rate;
    s.samples = testSignal(values, seed);
    return s;
}

} // namespace

// A little over one whole oscillator cycle (10 seconds) of mono at each rate, so
// every delay the sweep reaches is exercised, including rates whose longest
// delay no longer fits 2000 values.
TEST(WholeFile, FullSweepAtEachRate) {
    for (const std::int32_t rate :
         {8000, 11025, 22050, 44100, 48000, 57142, 57143, 57172, 88200, 96000, 176400, 192000}) {
        const auto values = static_cast<std::size_t>(rate) * 10 + 3000;
        expectMatchesModel({"mono at " + std::to_string(rate), wav(1, rate, values, 7)});
    }
}

TEST(WholeFile, ChannelCounts) {
    for (const std::uint16_t channels : std::initializer_list<std::uint16_t>{1, 2, 3, 4, 6}) {
        for (const std::int32_t rate : {8000, 44100, 96000}) {
            expectMatchesModel(
                {std::to_string(channels) + " channels at " + std::to_string(rate),
                 wav(channels, rate, static_cast<std::size_t>(rate) * channels, 11)});
        }
    }
}

TEST(WholeFile, InputEndingEarlyIsPaddedWithSilence) {
    for (const std::uint16_t channels : std::initializer_list<std::uint16_t>{1, 2, 3, 4}) {
        WavSpec s = wav(channels, 44100, 600U * channels, 3);
        s.declareDataBytes = true;
        s.dataBytes = 1000U * channels * 2U; // declares 1000 frames, holds 600
        expectMatchesModel({"truncated, " + std::to_string(channels) + " channels", s});
    }
}

TEST(WholeFile, StereoEndings) {
    WavSpec partial = wav(2, 44100, 2001, 5); // the last frame lacks its second value
    expectMatchesModel({"partial last frame", partial});

    WavSpec partialShort = partial;
    partialShort.declareDataBytes = true;
    partialShort.dataBytes = 4000; // declares more frames than there are
    expectMatchesModel({"partial last frame, declared longer", partialShort});

    WavSpec boundary = wav(2, 44100, 1000, 5);
    boundary.declareDataBytes = true;
    boundary.dataBytes = 8000; // ends on a frame boundary before the declared count
    expectMatchesModel({"frame boundary before declared count", boundary});
}

TEST(WholeFile, BytesAfterTheData) {
    WavSpec chunk = wav(1, 22050, 1000, 9);
    chunk.trailing = {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'a', 'b', 'c', 'd'};
    expectMatchesModel({"trailing chunk", chunk});

    WavSpec odd = wav(1, 22050, 1000, 9);
    odd.trailing = {0x7F};
    expectMatchesModel({"odd last byte", odd});

    WavSpec stereoChunk = wav(2, 48000, 2000, 9);
    stereoChunk.trailing = {1, 2, 3, 4, 5, 6, 7};
    expectMatchesModel({"stereo, trailing odd-sized chunk", stereoChunk});
}

TEST(WholeFile, OddDeclaredSizesAndEmptyData) {
    WavSpec odd = wav(1, 8000, 5, 1);
    odd.declareDataBytes = true;
    odd.dataBytes = 11; // 5 frames, the output declares 10 bytes
    expectMatchesModel({"data size 11", odd});

    WavSpec stereo10 = wav(2, 8000, 5, 1);
    stereo10.declareDataBytes = true;
    stereo10.dataBytes = 10; // 2 frames, then the fifth value as a partial frame
    expectMatchesModel({"stereo data size 10", stereo10});

    expectMatchesModel({"no samples at all", wav(1, 44100, 0, 1)});
    expectMatchesModel({"lowest rate", wav(1, 1, 50, 1)});
    expectMatchesModel({"highest rate", wav(1, WAVCHORUS_MAX_RATE, 40000, 1)});
}

// A header that is not the canonical layout is still read at fixed offsets.
TEST(WholeFile, NonCanonicalHeaderReadAtFixedOffsets) {
    Bytes input = makeWav(wav(1, 16000, 3000, 4));
    input[20] = 3;  // floating point format tag
    input[34] = 32; // 32 bits
    std::copy_n("JUNK", 4, input.begin() + 36);
    TempDir dir;
    writeBytes(dir / "in.wav", input);
    const CallResult r = callWAVChorus(dir / "in.wav", dir / "out.wav");
    ASSERT_EQ(r.code, WAVCHORUS_OK);
    EXPECT_EQ(readBytes(dir / "out.wav"), referenceChorus(input).output);
}
