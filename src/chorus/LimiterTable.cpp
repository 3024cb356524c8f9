#include "LimiterTable.h"

#include "ChorusConstants.h"

#include <cmath>
#include <cstring>
#include <new>

namespace mavrel {
namespace {

std::uint16_t* allocateEntries() {
    void* p = std::calloc(kMixValues, sizeof(std::uint16_t));
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return static_cast<std::uint16_t*>(p);
}

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

LimiterTable::LimiterTable() : entries(allocateEntries()) {}

LimiterTable::LimiterTable(const LimiterTable& other) : entries(allocateEntries()) {
    std::memcpy(entries.get(), other.entries.get(), kMixValues * sizeof(std::uint16_t));
}

LimiterTable& LimiterTable::operator=(const LimiterTable& other) {
    if (this != &other) {
        LimiterTable copy(other);
        *this = std::move(copy);
    }
    return *this;
}

std::int16_t fillLimiterEntry(LimiterTable& table, std::int32_t mix) {
    const std::int16_t out = limitMixDirect(mix);
    table.entries[static_cast<std::size_t>(mix - kMixMin)] =
        static_cast<std::uint16_t>(static_cast<std::int32_t>(out) + 32768);
    return out;
}

} // namespace mavrel
