// The signal path one value at a time, and the size of its ring.
#include "ChorusState.h"
#include "ReferenceChorus.h"

#include <gtest/gtest.h>

using namespace mavrel;

namespace {
std::int16_t firstValueOfCall(std::int32_t rate, std::int16_t s) {
    ChorusState state = setUpChorus(rate);
    return processValue(state, s);
}
} // namespace

TEST(ChorusState, EmptyRingGivesTheDryValueAlone) {
    EXPECT_EQ(firstValueOfCall(44100, 16384), 9671);
    EXPECT_EQ(firstValueOfCall(44100, -16384), -9671);
    EXPECT_EQ(firstValueOfCall(44100, 32767), 16383);
    EXPECT_EQ(firstValueOfCall(44100, -32768), -16383);
    EXPECT_EQ(firstValueOfCall(44100, 1), 0);
    EXPECT_EQ(firstValueOfCall(44100, -1), 0);
}

TEST(ChorusState, EveryInputValueWithAnEmptyTap) {
    ChorusState state = setUpChorus(48000);
    // The tap stays in the initial zeros for the first 720 values at 48 kHz, so
    // feeding 600 values at a time from fresh states covers all 65,536 inputs.
    for (std::int32_t s = -32768; s <= 32767; ++s) {
        if ((s + 32768) % 600 == 0) {
            state = setUpChorus(48000);
        }
        const auto v = static_cast<std::int16_t>(s);
        ASSERT_EQ(processValue(state, v), testing_support::referenceMix(v, 0)) << s;
        advanceRing(state);
    }
}

// At 1 Hz the delay is 0, so the tap reads the value just stored: y = 2x.
TEST(ChorusState, TapReadingTheDryValueDoublesIt) {
    EXPECT_EQ(firstValueOfCall(1, 16384), 16383);
    EXPECT_EQ(firstValueOfCall(1, 32767), 23095);
    EXPECT_EQ(firstValueOfCall(1, -32768), -23095);
}

TEST(ChorusState, RingHoldsTheLongestDelayAtEachRate) {
    struct Row {
        std::int32_t rate;
        std::int32_t size;
    };
    for (const Row row :
         {Row{1, 2000}, Row{8000, 2000}, Row{44100, 2000}, Row{57142, 2000}, Row{57143, 2001},
          Row{57172, 2002}, Row{96000, 3361}, Row{192000, 6721}, Row{768000, 26881}}) {
        EXPECT_EQ(chorusRingSize(row.rate), row.size) << row.rate;
    }
}
