// The limiter and quantiser as a table. The mix of two 16-bit values a and b is
// exactly (a + b) x 2^-15 in double precision, so the limited and quantised output
// is a function of the integer a + b alone, which takes 131,071 values
// (-65,536 to 65,534).
//
// One table serves every call and every thread of the process. Each entry is a
// pure function of its mix value, computed with the platform's arctangent the
// first time any call meets that mix and kept for the life of the process: a
// short file computes only the few entries it meets, and later calls find them
// ready. Entries are atomic, so calls on several threads may fill the same entry
// at once; they store the same value.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace mavrel {

inline constexpr std::int32_t kMixMin = -65536;
inline constexpr std::int32_t kMixMax = 65534;
inline constexpr std::size_t kMixValues = kMixMax - kMixMin + 1; // 131,071

// The direct computation for a mix a + b: atan((a + b) x 2^-15) times the
// limiter gain and 32767, truncated toward zero.
std::int16_t limitMixDirect(std::int32_t mix);

// An entry holds its output + 32768, and 0 while it is not yet computed: the
// outputs stay within +-23095, so no output is stored as 0. 16 bits wide where
// such an atomic is lock-free, else 32 (RISC-V has atomics of whole words only).
using LimiterValue = std::conditional_t<std::atomic<std::uint16_t>::is_always_lock_free,
                                        std::uint16_t, std::uint32_t>;
using LimiterEntry = std::atomic<LimiterValue>;
static_assert(LimiterEntry::is_always_lock_free);

// The table's storage: one entry more than there are mix values, never filled,
// so that a read of 32 bits at the last entry stays inside it.
inline constexpr std::size_t kLimiterEntriesRead = kMixValues + 1;

// The process's table, indexed by mix - kMixMin. Its storage is static and
// zero-initialised, so it takes no heap and only the pages that are used.
LimiterEntry* limiterEntries();

// Computes, stores and returns the output of one mix value.
std::int16_t fillLimiterEntry(std::int32_t mix);

// The output for a mix a + b (kMixMin..kMixMax), bit for bit what
// limitMixDirect gives.
inline std::int16_t limitMix(std::int32_t mix) {
    const LimiterValue e =
        limiterEntries()[static_cast<std::size_t>(mix - kMixMin)].load(std::memory_order_relaxed);
    if (e == 0) [[unlikely]] {
        return fillLimiterEntry(mix);
    }
    return static_cast<std::int16_t>(static_cast<std::int32_t>(e) - 32768);
}

} // namespace mavrel
