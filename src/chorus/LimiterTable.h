// The limiter and quantiser as a table. The mix of two 16-bit values a and b is
// exactly (a + b) x 2^-15 in double precision, so the limited and quantised output
// is a function of the integer a + b alone, which takes 131,071 values
// (-65,536 to 65,534). Entries are computed on first use with the platform's
// arctangent and kept, so a short file computes only the few it meets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace mavrel {

inline constexpr std::int32_t kMixMin = -65536;
inline constexpr std::int32_t kMixMax = 65534;
inline constexpr std::size_t kMixValues = kMixMax - kMixMin + 1; // 131,071

// The direct computation for a mix a + b: atan((a + b) x 2^-15) times the
// limiter gain and 32767, truncated toward zero.
std::int16_t limitMixDirect(std::int32_t mix);

struct LimiterTable {
    LimiterTable();
    LimiterTable(const LimiterTable& other);
    LimiterTable& operator=(const LimiterTable& other);
    LimiterTable(LimiterTable&&) noexcept = default;
    LimiterTable& operator=(LimiterTable&&) noexcept = default;
    ~LimiterTable() = default;

    struct FreeDeleter {
        void operator()(std::uint16_t* p) const noexcept { std::free(p); }
    };
    // Each entry holds its output + 32768, and 0 while it is not yet computed:
    // the outputs stay within +-23095, so no output is stored as 0. The storage
    // comes zeroed from calloc, which for a block this size maps fresh pages and
    // touches only those that are used.
    std::unique_ptr<std::uint16_t[], FreeDeleter> entries;
};

// Computes, stores and returns the entry of one mix value.
std::int16_t fillLimiterEntry(LimiterTable& table, std::int32_t mix);

// The output for a mix a + b (kMixMin..kMixMax), bit for bit what
// limitMixDirect gives.
inline std::int16_t limitMix(LimiterTable& table, std::int32_t mix) {
    const std::uint16_t e = table.entries[static_cast<std::size_t>(mix - kMixMin)];
    if (e == 0) [[unlikely]] {
        return fillLimiterEntry(table, mix);
    }
    return static_cast<std::int16_t>(static_cast<std::int32_t>(e) - 32768);
}

} // namespace mavrel
