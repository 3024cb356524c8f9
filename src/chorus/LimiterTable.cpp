#include "LimiterTable.h"

#include "ChorusConstants.h"

#include <cmath>

namespace mavrel {
namespace {

// Zero-initialised at load time, before any call: no constructor runs, and a
// page of it is backed by memory only once an entry on it is filled.
constinit LimiterEntry entries[kLimiterEntriesRead]{};

} // namespace

std::int16_t limitMixDirect(std::int32_t mix) {
    using namespace chorus_constants;
    // Both values are multiples of 2^-15 below 1 in size, so their double sum is
    // exact and equals the scaled integer sum.
    const double y = static_cast<double>(mix) * kInputScale;
    const double z = std::atan(y) * kLimiterGain;
    // Truncation toward zero, not rounding.
    return static_cast<std::int16_t>(static_cast<std::int32_t>(z * kOutputScale));
}

LimiterEntry* limiterEntries() {
    return entries;
}

std::int16_t fillLimiterEntry(std::int32_t mix) {
    const std::int16_t out = limitMixDirect(mix);
    // Relaxed: the entry is all that is published, and every thread that fills
    // it stores the same value.
    entries[static_cast<std::size_t>(mix - kMixMin)].store(
        static_cast<LimiterValue>(static_cast<std::int32_t>(out) + 32768),
        std::memory_order_relaxed);
    return out;
}

} // namespace mavrel
