// The input of the in-memory benchmarks (engine_bench, plugin_bench): two tones
// and some noise at a rate, the same values on every run.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace bench {

inline std::vector<std::int16_t> tonesAndNoise(std::size_t n, std::int32_t rate) {
    std::vector<std::int16_t> v(n);
    std::uint32_t noise = 1;
    const double step = 2.0 * 3.141592653589793 / rate;
    for (std::size_t k = 0; k < n; ++k) {
        noise = noise * 1664525U + 1013904223U;
        const double t = static_cast<double>(k) * step;
        const double tone = 6000.0 * std::sin(220.0 * t) + 5000.0 * std::sin(331.0 * t);
        v[k] = static_cast<std::int16_t>(tone + static_cast<double>(noise >> 20U) - 2048.0);
    }
    return v;
}

} // namespace bench
