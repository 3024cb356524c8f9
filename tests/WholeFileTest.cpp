// Whole output files against the independent model, over rates, channel counts
// and the ways an input can end.
#include "CallHelper.h"
#include "ReferenceChorus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace testing_support;

namespace {

struct Case {
    std::string name;
    WavSpec wav;
};

// Where the call reads the input from: the file, a FIFO, or a pipe named by
// /dev/fd/N.
enum class Source { file, fifo, pipe };

// Writes the bytes to fd in pieces of an odd size, so that the reader meets
// short reads, then closes it: the end of the stream.
std::thread streamInto(int fd, const Bytes& bytes) {
    return std::thread([fd, &bytes] {
        for (std::size_t done = 0; done < bytes.size();) {
            const std::size_t n = std::min<std::size_t>(4099, bytes.size() - done);
            const ssize_t put = ::write(fd, bytes.data() + done, n);
            if (put <= 0) {
                break;
            }
            done += static_cast<std::size_t>(put);
        }
        ::close(fd);
    });
}

CallResult callThrough(Source source, const TempDir& dir, const Bytes& input) {
    if (source == Source::file) {
        writeBytes(dir / "in.wav", input);
        return callWAVChorus(dir / "in.wav", dir / "out.wav");
    }
    int readEnd = -1;
    int writeEnd = -1;
    std::string path;
    if (source == Source::fifo) {
        path = (dir / "in.fifo").string();
        EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
        // A reader of our own holds the FIFO and what is written into it until the
        // call has opened it, however early the writer finishes.
        readEnd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        writeEnd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        ::fcntl(readEnd, F_SETFL, 0);
    } else {
        int fds[2];
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        readEnd = fds[0];
        writeEnd = fds[1];
        path = "/dev/fd/" + std::to_string(readEnd);
    }
    EXPECT_GE(writeEnd, 0);
    std::thread writer = streamInto(writeEnd, input);
    const CallResult r = callWAVChorus(path, dir / "out.wav");
    // Whatever the call left unread is drained, so that a call that stopped
    // early fails the test rather than leave the writer blocked.
    char sink[4096];
    while (::read(readEnd, sink, sizeof sink) > 0) {
    }
    ::close(readEnd);
    writer.join();
    return r;
}

void expectMatchesModel(const Case& c, Source source = Source::file) {
    TempDir dir;
    const Bytes input = makeWav(c.wav);
    const CallResult r = callThrough(source, dir, input);
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

    // Three cycles of the sweep, 5.3 MB, where twice that is declared: the delay
    // runs of the first cycle serve the others, and the room found ahead of the
    // writes for what is declared is cut back to what is written.
    WavSpec longShort = wav(2, 44100, 2 * 44100 * 30, 5);
    longShort.declareDataBytes = true;
    longShort.dataBytes = 4 * 44100 * 60;
    expectMatchesModel({"30 s where 60 s are declared", longShort});
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

// A pipe is read from its start to its end, as the file would be: the same
// output, the same padding when it ends early, the same values past the data.
TEST(WholeFile, ThroughAPipe) {
    WavSpec truncated = wav(2, 44100, 1200, 3);
    truncated.declareDataBytes = true;
    truncated.dataBytes = 4000; // declares 1000 frames, holds 600: the stream ends early
    WavSpec chunk = wav(1, 22050, 70000, 9);
    chunk.trailing = {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'a', 'b', 'c', 'd', 0x7F};
    for (const Source source : {Source::fifo, Source::pipe}) {
        const std::string via = source == Source::fifo ? " through a FIFO" : " through /dev/fd/N";
        expectMatchesModel({"stereo, several blocks" + via, wav(2, 44100, 300000, 2)}, source);
        expectMatchesModel({"four channels" + via, wav(4, 8000, 20000, 6)}, source);
        expectMatchesModel({"stream ending early" + via, truncated}, source);
        expectMatchesModel({"chunk and odd byte after the data" + via, chunk}, source);
    }
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
