// The signal path alone, in values per second: the fast engine in the chunks the
// streaming loop uses, and the test suite's straightforward model one value at a
// time, at 8, 44.1 and 96 kHz. No files: the input is ten seconds of tones and
// noise in memory.
#include "ChorusState.h"
#include "ReferenceChorus.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

constexpr std::size_t kChunkValues = 4096;

std::vector<std::int16_t> makeInput(std::int32_t rate) {
    std::vector<std::int16_t> v(static_cast<std::size_t>(rate) * 10);
    std::uint32_t noise = 1;
    const double step = 2.0 * 3.141592653589793 / rate;
    for (std::size_t n = 0; n < v.size(); ++n) {
        noise = noise * 1664525U + 1013904223U;
        const double t = static_cast<double>(n) * step;
        const double tone = 6000.0 * std::sin(220.0 * t) + 5000.0 * std::sin(331.0 * t);
        v[n] = static_cast<std::int16_t>(tone + static_cast<double>(noise >> 20U) - 2048.0);
    }
    return v;
}

void BM_FastEngine(benchmark::State& bm) {
    const auto rate = static_cast<std::int32_t>(bm.range(0));
    const std::vector<std::int16_t> input = makeInput(rate);
    std::vector<std::int16_t> out(kChunkValues);
    mavrel::ChorusState state = mavrel::setUpChorus(rate);
    std::size_t pos = 0;
    std::int64_t items = 0;
    for (auto _ : bm) {
        const std::size_t n = std::min(kChunkValues, input.size() - pos);
        mavrel::processBlock(state, input.data() + pos, out.data(), n);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
        pos = pos + n == input.size() ? 0 : pos + n;
        items += static_cast<std::int64_t>(n);
    }
    bm.SetItemsProcessed(items);
}

void BM_Straightforward(benchmark::State& bm) {
    const auto rate = static_cast<std::int32_t>(bm.range(0));
    const std::vector<std::int16_t> input = makeInput(rate);
    std::vector<std::int16_t> out(kChunkValues);
    testing_support::ReferenceChorus model(rate);
    std::size_t pos = 0;
    std::int64_t items = 0;
    for (auto _ : bm) {
        const std::size_t n = std::min(kChunkValues, input.size() - pos);
        for (std::size_t k = 0; k < n; ++k) {
            out[k] = model.process(input[pos + k]);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
        pos = pos + n == input.size() ? 0 : pos + n;
        items += static_cast<std::int64_t>(n);
    }
    bm.SetItemsProcessed(items);
}

} // namespace

BENCHMARK(BM_FastEngine)->Arg(8000)->Arg(44100)->Arg(96000);
BENCHMARK(BM_Straightforward)->Arg(8000)->Arg(44100)->Arg(96000);

BENCHMARK_MAIN();
