// Headers that declare what no real file holds: 65535 channels, sample rates far
// out of range, data sizes of 4 GiB on a file of a few hundred bytes, and sizes
// whose 32-bit products wrap. Every call keeps its heap under 1 MiB, finishes or
// fails cleanly, and pads silence exactly up to the declared count.
#include "CountingAllocator.h"
#include "HardeningSupport.h"
#include "MavrelWAVChorus.h"
#include "ReferenceChorus.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace hardening {
namespace {

constexpr std::size_t kMiB = 1024 * 1024;

struct Call {
    std::int32_t result = 0;
    HeapUse heap;
};

Call countedCall(const std::string& in, const std::string& out) {
    const std::u16string in16 = toU16(in);
    const std::u16string out16 = toU16(out);
    Call c;
    startCounting();
    c.result = WAVChorus(in16.c_str(), out16.c_str());
    c.heap = stopCounting();
    return c;
}

// The output header, from values worked out by hand for each case.
Bytes header(std::uint16_t channels, std::uint32_t rate, std::uint32_t byteRate,
             std::uint16_t blockAlign, std::uint32_t dataOut, std::uint32_t riffSize) {
    Bytes h = wavHeader(channels, rate, dataOut);
    const auto put = [&](std::size_t at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) {
            h[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    };
    put(4, riffSize, 4);
    put(28, byteRate, 4);
    put(32, blockAlign, 2);
    return h;
}

Bytes headerOf(const Bytes& file) {
    return Bytes(file.begin(), file.begin() + 44);
}

std::vector<std::int16_t> withSilence(std::vector<std::int16_t> v, std::size_t total) {
    v.resize(total, 0);
    return v;
}

class HostileHeader : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { std::signal(SIGPIPE, SIG_IGN); }

    // A file with the given header fields and `held` values after it.
    std::vector<std::int16_t> makeInput(std::uint16_t channels, std::uint32_t rate,
                                        std::uint32_t dataBytes, std::size_t held) {
        const std::vector<std::int16_t> values = testSignal(held, 2);
        Bytes file = wavHeader(channels, rate, dataBytes);
        appendValues(file, values);
        writeBytes(in, file);
        return values;
    }

    ScratchDir dir;
    std::string in = dir.file("in.wav");
    std::string out = dir.file("out.wav");
};

// The chorus of one stream of values, as the model computes it.
std::vector<std::int16_t> modelChorus(std::int32_t rate, const std::vector<std::int16_t>& values) {
    return testing_support::referenceValues(rate, values);
}

// The whole heap of a call: its working memory is taken with operator new, and
// the limiter table, shared by every call of the process, takes none.
void expectSmallHeap(const Call& c) {
    EXPECT_LT(c.heap.peak, kMiB) << "peak heap of the call";
    EXPECT_EQ(c.heap.leftOver, 0U) << "heap still held after the call";
}

TEST_F(HostileHeader, Channels65535) {
    const auto values = makeInput(65535, 44100, 65535 * 2 * 3, 1000);
    const Call c = countedCall(in, out);
    ASSERT_EQ(c.result, WAVCHORUS_OK);
    expectSmallHeap(c);
    EXPECT_GE(c.heap.peak, 2000 * sizeof(double)) << "the ring was not counted";
    const Bytes result = readBytes(out);
    // 65535 x 44100 x 2 wraps; 65535 x 2 keeps its low 16 bits.
    EXPECT_EQ(headerOf(result), header(65535, 44100, 0x5886A778, 0xFFFE, 393210, 393246));
    EXPECT_EQ(samplesOf(result), modelChorus(44100, values));
}

// 0x7FFFFFFF values over 65535 channels: 32768 declared, padded from 100.
TEST_F(HostileHeader, Channels65535Declaring4GiB) {
    const auto values = makeInput(65535, 44100, 0xFFFFFFFF, 100);
    const Call c = countedCall(in, out);
    ASSERT_EQ(c.result, WAVCHORUS_OK);
    expectSmallHeap(c);
    const Bytes result = readBytes(out);
    EXPECT_EQ(headerOf(result), header(65535, 44100, 0x5886A778, 0xFFFE, 0xFFFF0000, 0xFFFF0024));
    EXPECT_EQ(samplesOf(result), modelChorus(44100, withSilence(values, 32768)));
}

// The highest rate with the most channels: the largest ring, and a byte rate
// that wraps.
TEST_F(HostileHeader, Channels65535AtHighestRate) {
    makeInput(65535, 768000, 2000, 1000);
    const Call c = countedCall(in, out);
    ASSERT_EQ(c.result, WAVCHORUS_OK);
    expectSmallHeap(c);
    const Bytes result = readBytes(out);
    EXPECT_EQ(headerOf(result), header(65535, 768000, 0x6FE89000, 0xFFFE, 0, 36));
    EXPECT_EQ(result.size(), 44U + 2000U);
}

TEST_F(HostileHeader, Channels3000AtHighestRate) {
    makeInput(3000, 768000, 2000, 1000);
    const Call c = countedCall(in, out);
    ASSERT_EQ(c.result, WAVCHORUS_OK);
    expectSmallHeap(c);
    const Bytes result = readBytes(out);
    EXPECT_EQ(headerOf(result), header(3000, 768000, 0x12A88000, 6000, 0, 36));
    EXPECT_EQ(result.size(), 44U + 2000U);
}

TEST_F(HostileHeader, MonoAtHighestRate) {
    makeInput(1, 768000, 2000, 1000);
    const Call c = countedCall(in, out);
    ASSERT_EQ(c.result, WAVCHORUS_OK);
    expectSmallHeap(c);
    EXPECT_EQ(headerOf(readBytes(out)), header(1, 768000, 1536000, 2, 2000, 2036));
}

// Stereo stops at the first frame that lacks its second value: a file that
// declares 4 GiB but ends on a frame boundary gets one padded value.
TEST_F(HostileHeader, StereoDeclaring4GiB) {
    const auto values = makeInput(2, 44100, 0xFFFFFFFF, 100);
    const Call c = countedCall(in, out);
    ASSERT_EQ(c.result, WAVCHORUS_OK);
    expectSmallHeap(c);
    const Bytes result = readBytes(out);
    // 2 x 0x3FFFFFFF x 2 = 0xFFFFFFFC; + 36 wraps to 0x20.
    EXPECT_EQ(headerOf(result), header(2, 44100, 176400, 4, 0xFFFFFFFC, 0x20));
    std::vector<std::int16_t> left;
    for (std::size_t i = 0; i < values.size(); i += 2) {
        left.push_back(values[i]);
    }
    left.push_back(0);
    const std::vector<std::int16_t> chorused = modelChorus(44100, left);
    std::vector<std::int16_t> expected;
    for (std::size_t i = 0; i < chorused.size(); ++i) {
        expected.push_back(chorused[i]);
        if (i + 1 < chorused.size()) {
            expected.push_back(chorused[i]);
        }
    }
    EXPECT_EQ(samplesOf(result), expected);
}

// A short file's call takes memory for that file, not for the longest; a long
// one's no more than a 3 MB file's, however long.
TEST_F(HostileHeader, HeapIsSizedToTheFileAndBounded) {
    makeInput(1, 8000, 2000, 1000);
    const Call shortFile = countedCall(in, out);
    ASSERT_EQ(shortFile.result, WAVCHORUS_OK);
    EXPECT_LT(shortFile.heap.peak, 48U * 1024) << "a 2000-byte file";
    EXPECT_EQ(shortFile.heap.leftOver, 0U);

    std::size_t peak = 0;
    for (const std::size_t values : {std::size_t{1500000}, std::size_t{6000000}}) {
        makeInput(2, 44100, static_cast<std::uint32_t>(2 * values), values);
        const Call c = countedCall(in, out);
        ASSERT_EQ(c.result, WAVCHORUS_OK);
        expectSmallHeap(c);
        if (peak == 0) {
            peak = c.heap.peak;
        }
        EXPECT_EQ(c.heap.peak, peak) << values << " values";
    }
}

struct Rejected {
    const char* name;
    std::uint16_t channels;
    std::uint32_t rate;
    std::uint32_t dataBytes;
    std::int32_t result;
};

void PrintTo(const Rejected& r, std::ostream* os) {
    *os << r.name;
}

const Rejected kRejected[] = {
    {"rate_2147483647", 2, 0x7FFFFFFF, 400, WAVCHORUS_ERR_BAD_RATE},
    {"rate_minus_1", 2, 0xFFFFFFFF, 400, WAVCHORUS_ERR_BAD_RATE},
    {"rate_minus_44100", 2, static_cast<std::uint32_t>(-44100), 400, WAVCHORUS_ERR_BAD_RATE},
    {"rate_minus_2147483648", 2, 0x80000000, 400, WAVCHORUS_ERR_BAD_RATE},
    {"rate_0", 1, 0, 400, WAVCHORUS_ERR_BAD_RATE},
    {"rate_768001", 1, 768001, 400, WAVCHORUS_ERR_BAD_RATE},
    {"rate_2147483647_channels_65535_4GiB", 65535, 0x7FFFFFFF, 0xFFFFFFFF, WAVCHORUS_ERR_BAD_RATE},
    {"channels_0", 0, 44100, 400, WAVCHORUS_ERR_BAD_CHANNELS},
    {"channels_0_4GiB", 0, 44100, 0xFFFFFFFF, WAVCHORUS_ERR_BAD_CHANNELS},
};

class RejectedHeader : public HostileHeader, public ::testing::WithParamInterface<Rejected> {};

TEST_P(RejectedHeader, FailsCleanly) {
    const Rejected& r = GetParam();
    makeInput(r.channels, r.rate, r.dataBytes, 200);
    const Call c = countedCall(in, out);
    EXPECT_EQ(c.result, r.result);
    expectSmallHeap(c);
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"in.wav"}));
}

INSTANTIATE_TEST_SUITE_P(Headers, RejectedHeader, ::testing::ValuesIn(kRejected),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HostileHeader, EveryShortHeaderIsRefused) {
    const Bytes full = wavFile(1, 44100, testSignal(8, 3));
    for (std::size_t n = 0; n < 44; ++n) {
        writeBytes(in, Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n)));
        const Call c = countedCall(in, out);
        EXPECT_EQ(c.result, WAVCHORUS_ERR_SHORT_HEADER) << n << " bytes";
        expectSmallHeap(c);
        EXPECT_EQ(dir.entries(), (std::set<std::string>{"in.wav"})) << n << " bytes";
    }
}

// Reads exactly n bytes from fd, or fewer at its end.
Bytes readUpTo(int fd, std::size_t n) {
    Bytes b(n);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::read(fd, b.data() + done, n - done);
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    b.resize(done);
    return b;
}

// A header that declares 4 GiB on a file of 100 values is padded with silence up
// to the declared count. The output goes to a pipe; the first MiB is checked
// value by value, then the reader goes away and the call fails on the write.
struct Padded {
    const char* name;
    std::uint16_t channels;
    Bytes expectedHeader;
};

void PrintTo(const Padded& p, std::ostream* os) {
    *os << p.name;
}

class PaddedThroughPipe : public HostileHeader, public ::testing::WithParamInterface<Padded> {};

TEST_P(PaddedThroughPipe, SilenceAsDeclaredWithSmallHeap) {
    const Padded& p = GetParam();
    const auto values = makeInput(p.channels, 44100, 0xFFFFFFFF, 100);
    ASSERT_EQ(::mkfifo(out.c_str(), 0600), 0);

    Call c;
    std::thread caller([&] { c = countedCall(in, out); });
    const int fd = ::open(out.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const Bytes got = readUpTo(fd, 44 + kMiB);
    ::close(fd);
    caller.join();

    ASSERT_EQ(got.size(), 44 + kMiB);
    EXPECT_EQ(headerOf(got), p.expectedHeader);
    EXPECT_EQ(samplesOf(got), modelChorus(44100, withSilence(values, kMiB / 2)));
    EXPECT_EQ(c.result, WAVCHORUS_ERR_WRITE) << "the reader left before the end";
    expectSmallHeap(c);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, PaddedThroughPipe,
    ::testing::Values(
        // 0x7FFFFFFF frames: data size 0xFFFFFFFE; the RIFF size wraps to 0x22.
        Padded{"mono", 1, header(1, 44100, 88200, 2, 0xFFFFFFFE, 0x22)},
        // 715,827,882 values as one stream: 0xFFFFFFFC; the RIFF size wraps to 0x20.
        Padded{"three_channels", 3, header(3, 44100, 264600, 6, 0xFFFFFFFC, 0x20)}),
    [](const auto& info) { return std::string(info.param.name); });

// The command line warns about the declared frames that the file does not hold
// before the first byte of the output is written: by the time the output is
// opened, the warning is on stderr.
TEST_F(HostileHeader, CliWarnsBeforeTheOutputIsWritten) {
    makeInput(1, 44100, 0xFFFFFFFF, 100);
    ASSERT_EQ(::mkfifo(out.c_str(), 0600), 0);
    CliProcess cli = startCli({}, in, out);
    const int fd = ::open(out.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);

    std::string early;
    pollfd pfd{cli.errFd, POLLIN, 0};
    while (::poll(&pfd, 1, 0) == 1 && (pfd.revents & POLLIN) != 0) {
        char buf[4096];
        const ssize_t n = ::read(cli.errFd, buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        early.append(buf, static_cast<std::size_t>(n));
    }
    const Bytes got = readUpTo(fd, 44);
    ::close(fd);
    const CliResult r = finishCli(cli);

    EXPECT_NE(early.find("wavchorus: warning: " + in +
                         ": the header declares 2147483647 frames but the file holds 100; the "
                         "missing part will be written as silence"),
              std::string::npos)
        << "stderr when the output was opened: " << early;
    EXPECT_EQ(got, header(1, 44100, 88200, 2, 0xFFFFFFFE, 0x22));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("WAVChorus: cannot write output \"" + out + "\": Broken pipe"),
              std::string::npos)
        << r.err;
}

} // namespace
} // namespace hardening
