// The limiter and quantiser as a table, against the model's arctangent for every
// one of the 131,071 mix values.
#include "LimiterTable.h"
#include "ReferenceChorus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace {

// One way of writing a mix as the sum of two 16-bit values: the first as low as
// it can be, or as high.
std::int16_t lowPart(std::int32_t mix) {
    return static_cast<std::int16_t>(std::max(-32768, mix - 32767));
}
std::int16_t highPart(std::int32_t mix) {
    return static_cast<std::int16_t>(std::min(32767, mix + 32768));
}

TEST(LimiterTable, EveryMixValueGivesTheModelsOutput) {
    using testing_support::referenceMix;
    int mismatches = 0;
    // Odd steps through the whole range, so that entries are computed on demand in
    // an order unlike their own, then a second pass over the kept entries.
    for (int pass = 0; pass < 2; ++pass) {
        for (std::int64_t k = 0; k < static_cast<std::int64_t>(mavrel::kMixValues); ++k) {
            const auto mix = static_cast<std::int32_t>(
                                 k * 40503 % static_cast<std::int64_t>(mavrel::kMixValues)) +
                             mavrel::kMixMin;
            const std::int16_t a = lowPart(mix);
            const std::int16_t b = highPart(mix);
            const std::int16_t expected = referenceMix(static_cast<std::int16_t>(mix - a), a);
            // The table rests on the output depending on the sum alone.
            ASSERT_EQ(referenceMix(static_cast<std::int16_t>(mix - b), b), expected)
                << "mix " << mix;
            const std::int16_t got = mavrel::limitMix(mix);
            if (got != expected && ++mismatches <= 10) {
                ADD_FAILURE() << "mix " << mix << " (pass " << pass << "): table " << got
                              << ", model " << expected;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(LimiterTable, KnownOutputs) {
    struct Case {
        std::int32_t mix;
        std::int16_t out;
    };
    // A lone value with an empty tap, and a value doubled by a tap that holds the same.
    const Case cases[] = {
        {16384, 9671}, {-16384, -9671},    {32767, 16383},     {-32768, -16383},    {1, 0}, {-1, 0},
        {0, 0},        {2 * 16384, 16383}, {2 * 32767, 23095}, {-2 * 32768, -23095}};
    for (const Case& c : cases) {
        EXPECT_EQ(mavrel::limitMix(c.mix), c.out) << "mix " << c.mix;
        EXPECT_EQ(mavrel::limitMixDirect(c.mix), c.out) << "mix " << c.mix;
    }
}

} // namespace
