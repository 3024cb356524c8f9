// An independent, straightforward model of the whole call: from the input
// file's bytes to the output file's bytes and the report, written from the
// description of the effect rather than from the library's code. It keeps every
// input value instead of a ring, so it holds for any delay.
#pragma once

#include "TestFiles.h"

#include <string>

namespace testing_support {

struct ModelResult {
    Bytes output;
    std::string report;
};

// The input must hold a 44-byte header with channels > 0 and a rate > 0.
ModelResult referenceChorus(const Bytes& input);

// One value through the signal path, given the dry and the delayed sample.
std::int16_t referenceMix(std::int16_t dry, std::int16_t delayed);

} // namespace testing_support
