#include "ModelChorus.h"

#include "ReferenceChorus.h"

namespace hardening {

std::vector<std::int16_t> modelChorus(std::int32_t sampleRate,
                                      const std::vector<std::int16_t>& in) {
    testing_support::WavSpec wav;
    wav.sampleRate = sampleRate;
    wav.samples = in;
    const testing_support::Bytes out =
        testing_support::referenceChorus(testing_support::makeWav(wav)).output;
    std::vector<std::int16_t> values((out.size() - 44) / 2);
    for (std::size_t k = 0; k < values.size(); ++k) {
        values[k] = static_cast<std::int16_t>(testing_support::le16(out, 44 + 2 * k));
    }
    return values;
}

} // namespace hardening
