// maths_engine_* OUT: what the library's engine gives with this program's sin
// and atan (MathsVariant.h), written to OUT as text for comparison between
// programs that differ only in their maths:
//
//   delay RATE FRAME DELAY   the truncated delay from FRAME on, over a whole
//                            oscillator cycle, as the engine's delay runs find it
//   chorus RATE HASH         a hash of the engine's chorus of a whole cycle of
//                            noise
//   limit MIX OUTPUT         the limiter's output from the mix value MIX on, for
//                            every mix of two 16-bit values
//
// Each program runs in its own process, as the library may keep what it has
// computed with the maths for the rest of the process.
#include "ChorusState.h"
#include "CommonRates.h"
#include "DelayRun.h"
#include "LimiterTable.h"
#include "MathsVariant.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// FNV-1a over the bytes of the values, low byte first.
std::uint64_t hashValues(std::uint64_t h, const std::int16_t* v, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        const auto u = static_cast<std::uint16_t>(v[k]);
        h = (h ^ (u & 0xFFU)) * 0x100000001B3ULL;
        h = (h ^ (u >> 8U)) * 0x100000001B3ULL;
    }
    return h;
}

void writeDelays(std::FILE* out, std::int32_t rate) {
    const mavrel::DelaySweep sweep = mavrel::makeDelaySweep(rate);
    mavrel::DelayRun run = mavrel::findDelayRun(sweep, 0);
    std::int32_t last = -1;
    for (;;) {
        if (run.delay != last) {
            std::fprintf(out, "delay %d %d %d\n", rate, run.start, run.delay);
            last = run.delay;
        }
        if (run.end >= sweep.wrap) {
            break;
        }
        run = mavrel::findDelayRun(sweep, run.end, run);
    }
}

void writeChorusHash(std::FILE* out, std::int32_t rate) {
    mavrel::ChorusState state = mavrel::setUpChorus(rate);
    constexpr std::size_t kBlock = 4096;
    std::vector<std::int16_t> in(kBlock);
    std::vector<std::int16_t> wet(kBlock);
    std::uint32_t noise = 0x2545F491U ^ static_cast<std::uint32_t>(rate);
    std::uint64_t h = 0xCBF29CE484222325ULL;
    for (std::int64_t left = 10LL * rate; left > 0;) {
        const std::size_t n =
            left < static_cast<std::int64_t>(kBlock) ? static_cast<std::size_t>(left) : kBlock;
        for (std::size_t k = 0; k < n; ++k) {
            noise = noise * 1664525U + 1013904223U;
            // Quiet noise, -512 to 511: every delay still taps other values, and
            // the limiter meets few mix values, which the limit lines cover whole.
            in[k] = static_cast<std::int16_t>(static_cast<std::int32_t>(noise >> 22U) - 512);
        }
        mavrel::processBlock(state, in.data(), wet.data(), n);
        h = hashValues(h, wet.data(), n);
        left -= static_cast<std::int64_t>(n);
    }
    std::fprintf(out, "chorus %d %016llx\n", rate, static_cast<unsigned long long>(h));
}

void writeLimiter(std::FILE* out) {
    std::int32_t last = 1 << 20;
    for (std::int32_t mix = mavrel::kMixMin; mix <= mavrel::kMixMax; ++mix) {
        const std::int32_t v = mavrel::limitMixDirect(mix);
        if (v != last) {
            std::fprintf(out, "limit %d %d\n", mix, v);
            last = v;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT\n", argv[0]);
        return 2;
    }
    std::FILE* out = std::fopen(argv[1], "w");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    for (const std::int32_t rate : maths_test::kCommonRates) {
        writeDelays(out, rate);
        writeChorusHash(out, rate);
    }
    writeLimiter(out);
    if (std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    const long calls = mathsVariantCalls();
    std::printf("sin and atan: %s", mathsVariantName());
    if (calls >= 0) {
        std::printf(", called %ld times", calls);
    }
    std::printf("\n");
    if (calls == 0) {
        std::fprintf(stderr, "FAIL: the engine never called the replaced sin and atan\n");
        return 1;
    }
    return 0;
}
