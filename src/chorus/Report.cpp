#include "Report.h"

#include <cstdio>

namespace mavrel {
namespace {

void printValues(unsigned channels, std::int32_t sampleRate, std::uint32_t sampleNumber) {
    std::printf("Channel       = %d ch\n", static_cast<int>(channels));
    // The blank before the newline is part of the report's text.
    std::printf("Sample rate   = %d Hz \n", static_cast<int>(sampleRate));
    std::printf("Sample number = %d\n", static_cast<int>(sampleNumber));
}

} // namespace

void printInputReport(const WaveInfo& info) {
    std::printf("Wave data is\n");
    printValues(info.channels, info.sampleRate, info.sampleNumber);
}

void printOutputReport(const WaveInfo& info) {
    // The values that the output header carries.
    std::printf("\nOutput WAVE data is\n");
    printValues(info.channels, info.sampleRate, (outputDataBytes(info) / info.channels) >> 1U);
    std::fflush(stdout);
}

} // namespace mavrel
