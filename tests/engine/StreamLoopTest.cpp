// The block-wise streaming loop against the loop defined value by value, on
// files that end in every way the definition distinguishes, and across blocks.
#include "StreamLoop.h"
#include "InputFile.h"
#include "OutputFile.h"
#include "ReferenceChorus.h"
#include "WaveFormat.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

class TempDir {
  public:
    TempDir() {
        std::random_device rd;
        path_ = fs::temp_directory_path() /
                ("mavrel-engine-" + std::to_string(rd()) + "-" + std::to_string(rd()));
        fs::create_directories(path_);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    fs::path operator/(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) {
        b[at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(v >> (8 * k));
    }
}

struct Input {
    std::uint16_t channels;
    std::int32_t rate;
    std::uint32_t declaredFrames;
    std::vector<std::uint8_t> samples; // everything after byte 44
};

std::vector<std::uint8_t> noiseBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<std::uint8_t> b(n);
    for (auto& x : b) {
        x = static_cast<std::uint8_t>(gen());
    }
    return b;
}

// Runs the streaming loop on the input written as a file and returns the data it
// wrote after the header.
std::vector<std::uint8_t> runLoop(const Input& input) {
    TempDir dir;
    const fs::path inPath = dir / "in.wav";
    const fs::path outPath = dir / "out.raw";
    std::vector<std::uint8_t> file(44, 0);
    file[22] = static_cast<std::uint8_t>(input.channels);
    file[23] = static_cast<std::uint8_t>(input.channels >> 8U);
    put32(file, 24, static_cast<std::uint32_t>(input.rate));
    put32(file, 40, input.declaredFrames * input.channels * 2U);
    file.insert(file.end(), input.samples.begin(), input.samples.end());
    {
        std::ofstream f(inPath, std::ios::binary);
        f.write(reinterpret_cast<const char*>(file.data()),
                static_cast<std::streamsize>(file.size()));
        EXPECT_TRUE(f.good());
    }

    int err = 0;
    mavrel::InputFile in;
    EXPECT_EQ(in.open(inPath.string(), err), mavrel::InputFile::OpenStatus::ok);
    std::array<std::uint8_t, mavrel::kHeaderBytes> header{};
    EXPECT_EQ(in.read(header.data(), header.size(), err), 44);
    const mavrel::WaveInfo info = mavrel::readWaveHeader(header);
    EXPECT_EQ(info.sampleNumber, input.declaredFrames);
    mavrel::ChorusState state = mavrel::setUpChorus(info.sampleRate);
    mavrel::OutputFile out;
    EXPECT_TRUE(out.create(outPath.string(), err));
    EXPECT_EQ(mavrel::runStreamLoop(in, out, info, state, err), mavrel::LoopStatus::ok);
    EXPECT_TRUE(out.commit(err));

    std::ifstream f(outPath, std::ios::binary);
    std::vector<std::uint8_t> got{std::istreambuf_iterator<char>(f),
                                  std::istreambuf_iterator<char>()};
    // The canonical header, then the data.
    const auto outHeader = mavrel::makeOutputHeader(info);
    EXPECT_TRUE(got.size() >= outHeader.size() &&
                std::equal(outHeader.begin(), outHeader.end(), got.begin()));
    got.erase(got.begin(),
              got.begin() + static_cast<std::ptrdiff_t>(std::min(got.size(), outHeader.size())));
    return got;
}

void expectLikeTheDefinition(const Input& input, std::size_t expectedBytes) {
    const std::vector<std::uint8_t> expected = testing_support::referenceStream(
        input.samples, input.channels, input.rate, input.declaredFrames);
    ASSERT_EQ(expected.size(), expectedBytes) << "the case itself is miscounted";
    const std::vector<std::uint8_t> got = runLoop(input);
    ASSERT_EQ(got.size(), expected.size());
    // What the command line and the page say of an input before it is read.
    const mavrel::WaveInfo info{input.channels, input.rate, 0, input.declaredFrames};
    EXPECT_EQ(mavrel::planOutput(info, input.samples.size()).valuesWritten * 2, got.size());
    const auto diff = std::mismatch(got.begin(), got.end(), expected.begin());
    EXPECT_TRUE(diff.first == got.end())
        << "first difference at output byte " << (diff.first - got.begin());
}

// The loop reads blocks of 65,536 bytes to its first mebibyte, and of 262,144
// bytes after it; these sizes straddle them.
constexpr std::size_t kBlock = 262144;

constexpr std::uint32_t kFramesIn(std::size_t bytes, std::uint32_t channels) {
    return static_cast<std::uint32_t>(bytes / 2 / channels);
}

TEST(StreamLoop, MonoEndingWithItsData) {
    expectLikeTheDefinition({1, 44100, 1000, noiseBytes(2000, 1)}, 2000);
}

TEST(StreamLoop, MonoAcrossBlocks) {
    expectLikeTheDefinition({1, 48000, 300000, noiseBytes(600000, 2)}, 600000);
}

TEST(StreamLoop, MonoShortOfItsDeclaredFramesIsFilledWithSilence) {
    expectLikeTheDefinition({1, 44100, 1000, noiseBytes(1200, 3)}, 2000);
}

TEST(StreamLoop, SilenceSpanningSeveralBlocks) {
    expectLikeTheDefinition({1, 8000, 300000, noiseBytes(20, 4)}, 600000);
}

TEST(StreamLoop, MonoLastOddByteIsNotAValue) {
    expectLikeTheDefinition({1, 22050, kFramesIn(kBlock, 1), noiseBytes(kBlock + 1, 5)}, kBlock);
}

TEST(StreamLoop, MonoBytesAfterTheDataAreProcessedAsSamples) {
    expectLikeTheDefinition({1, 44100, 1000, noiseBytes(2012, 6)}, 2012);
}

TEST(StreamLoop, StereoEndingWithItsData) {
    expectLikeTheDefinition({2, 44100, 1000, noiseBytes(4000, 7)}, 4000);
}

TEST(StreamLoop, StereoAcrossBlocks) {
    expectLikeTheDefinition({2, 96000, 150000, noiseBytes(600000, 8)}, 600000);
}

TEST(StreamLoop, StereoLastFrameWithoutItsSecondValueEndsAfterItsFirst) {
    expectLikeTheDefinition({2, 44100, 1000, noiseBytes(3998, 9)}, 3998);
    expectLikeTheDefinition({2, 44100, 1000, noiseBytes(3999, 10)}, 3998);
}

TEST(StreamLoop, StereoEndingOnAFrameBeforeItsDeclaredCountGivesOneSilentValue) {
    expectLikeTheDefinition({2, 44100, 1000, noiseBytes(2400, 11)}, 2402);
    // The end falls exactly on the end of a block.
    expectLikeTheDefinition({2, 44100, kFramesIn(kBlock, 2) + 1000, noiseBytes(kBlock, 12)},
                            kBlock + 2);
}

TEST(StreamLoop, StereoEndingAtItsDeclaredCountOnABlockEnd) {
    expectLikeTheDefinition({2, 44100, kFramesIn(kBlock, 2), noiseBytes(kBlock, 13)}, kBlock);
}

TEST(StreamLoop, FourChannelsGoThroughAsOneStream) {
    expectLikeTheDefinition({4, 44100, 1000, noiseBytes(8000, 14)}, 8000);
    // Values are counted against the declared frames: 600 values are filled up to 1000.
    expectLikeTheDefinition({4, 44100, 1000, noiseBytes(1200, 15)}, 2000);
}

TEST(StreamLoop, EmptyDataWithNothingDeclared) {
    expectLikeTheDefinition({1, 44100, 0, {}}, 0);
    expectLikeTheDefinition({2, 44100, 0, {}}, 0);
}

} // namespace
