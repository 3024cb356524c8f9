// The signal path alone, in values per second: the fast engine in the chunks the
// streaming loop uses, and the test suite's straightforward model one value at a
// time, at 8, 44.1 and 96 kHz. No files: the input is ten seconds of tones and
// noise in memory.
#include "ChorusState.h"
#include "ReferenceChorus.h"
#include "TonesAndNoise.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

constexpr std::size_t kChunkValues = 4096;

void BM_FastEngine(benchmark::State& bm) {
    const auto rate = static_cast<std::int32_t>(bm.range(0));
    const std::vector<std::int16_t> input =
        bench::tonesAndNoise(static_cast<std::size_t>(rate) * 10, rate);
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
    const std::vector<std::int16_t> input =
        bench::tonesAndNoise(static_cast<std::size_t>(rate) * 10, rate);
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
