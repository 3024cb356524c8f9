// Calls share nothing: eight threads calling WAVChorus at once give the same
// bytes as the same calls one at a time. Also run under ThreadSanitizer
// (scripts/checks/62-tsan.sh).
#include "HardeningSupport.h"
#include "MavrelWAVChorus.h"
#include "ReferenceChorus.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace hardening {
namespace {

constexpr int kThreads = 8;

// Eight inputs that take different roads through the library: mono, stereo,
// many channels, rates from 8 kHz to the highest, files padded with silence,
// an odd last byte.
Bytes inputFor(int k) {
    switch (k) {
    case 0:
        return wavFile(1, 44100, testSignal(60000, 10));
    case 1:
        return wavFile(2, 48000, testSignal(80000, 11));
    case 2:
        return wavFile(4, 22050, testSignal(40000, 12));
    case 3:
        return wavFile(1, 768000, testSignal(50000, 13));
    case 4: {
        Bytes b = wavHeader(1, 8000, 100000); // declares more than it holds
        appendValues(b, testSignal(20000, 14));
        return b;
    }
    case 5: {
        Bytes b = wavFile(2, 96000, testSignal(30001, 15)); // a frame without its second value
        b.push_back(0x55);
        return b;
    }
    case 6:
        return wavFile(65535, 44100, testSignal(70000, 16));
    default:
        return wavFile(2, 44100, testSignal(100000, 17));
    }
}

std::int32_t call(const std::string& in, const std::string& out) {
    const std::u16string in16 = toU16(in);
    const std::u16string out16 = toU16(out);
    return WAVChorus(in16.c_str(), out16.c_str());
}

// Starts all threads together, so the calls overlap.
void runTogether(const std::function<std::int32_t(int)>& work, std::int32_t (&results)[kThreads]) {
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k) {
        threads.emplace_back([&, k] {
            ready.fetch_add(1);
            while (ready.load() < kThreads) {
                std::this_thread::yield();
            }
            results[k] = work(k);
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
}

class Concurrency : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int k = 0; k < kThreads; ++k) {
            writeBytes(inPath(k), inputFor(k));
            ASSERT_EQ(call(inPath(k), dir.file("alone" + std::to_string(k) + ".wav")),
                      WAVCHORUS_OK);
            alone.push_back(readBytes(dir.file("alone" + std::to_string(k) + ".wav")));
        }
    }

    std::string inPath(int k) const { return dir.file("in" + std::to_string(k) + ".wav"); }

    ScratchDir dir;
    std::vector<Bytes> alone;
};

TEST_F(Concurrency, EightThreadsOnDifferentFilesGiveTheSameBytes) {
    for (int round = 0; round < 3; ++round) {
        std::int32_t results[kThreads] = {};
        runTogether(
            [&](int k) {
                return call(inPath(k), dir.file("together" + std::to_string(k) + ".wav"));
            },
            results);
        for (int k = 0; k < kThreads; ++k) {
            EXPECT_EQ(results[k], WAVCHORUS_OK) << "thread " << k;
            EXPECT_EQ(readBytes(dir.file("together" + std::to_string(k) + ".wav")), alone[k])
                << "thread " << k << ", round " << round;
        }
    }
}

// Eight calls replacing the same output at once: each writes its own temporary
// file, so the output ends whole, equal to one call's, with nothing left beside it.
TEST_F(Concurrency, EightThreadsOnOneOutputLeaveOneWholeOutput) {
    std::int32_t results[kThreads] = {};
    runTogether([&](int) { return call(inPath(7), dir.file("shared.wav")); }, results);
    for (int k = 0; k < kThreads; ++k) {
        EXPECT_EQ(results[k], WAVCHORUS_OK) << "thread " << k;
    }
    EXPECT_EQ(readBytes(dir.file("shared.wav")), alone[7]);
    for (const std::string& name : dir.entries()) {
        EXPECT_NE(name.front(), '.') << "left behind: " << name;
    }
}

// Failing calls among working ones do not disturb them.
TEST_F(Concurrency, FailingCallsBesideWorkingOnes) {
    writeBytes(dir.file("short.wav"), Bytes(20, 0));
    std::int32_t results[kThreads] = {};
    runTogether(
        [&](int k) {
            if (k % 2 == 1) {
                return call(dir.file("short.wav"), dir.file("bad" + std::to_string(k) + ".wav"));
            }
            return call(inPath(k), dir.file("good" + std::to_string(k) + ".wav"));
        },
        results);
    for (int k = 0; k < kThreads; ++k) {
        if (k % 2 == 1) {
            EXPECT_EQ(results[k], WAVCHORUS_ERR_SHORT_HEADER);
            EXPECT_FALSE(fileExists(dir.file("bad" + std::to_string(k) + ".wav")));
        } else {
            EXPECT_EQ(results[k], WAVCHORUS_OK);
            EXPECT_EQ(readBytes(dir.file("good" + std::to_string(k) + ".wav")), alone[k]);
        }
    }
}

// Eight first calls of a process at once, on the same input: they fill the
// entries of the limiter table that every call shares together, each from its
// first value on. Every output is the model's, and ThreadSanitizer sees no race.
TEST(SharedTable, FirstCallsOfAProcessFillItTogether) {
    ScratchDir dir;
    const Bytes input = wavFile(2, 44100, testSignal(2 * 44100, 18));
    writeBytes(dir.file("in.wav"), input);
    std::int32_t results[kThreads] = {};
    runTogether(
        [&](int k) {
            return call(dir.file("in.wav"), dir.file("out" + std::to_string(k) + ".wav"));
        },
        results);
    const Bytes expected = testing_support::referenceChorus(input).output;
    for (int k = 0; k < kThreads; ++k) {
        EXPECT_EQ(results[k], WAVCHORUS_OK) << "thread " << k;
        EXPECT_EQ(readBytes(dir.file("out" + std::to_string(k) + ".wav")), expected)
            << "thread " << k;
    }
}

} // namespace
} // namespace hardening
