#include "ModelChorus.h"

#include <bit>
#include <cmath>

namespace hardening {

std::vector<std::int16_t> modelChorus(std::int32_t sampleRate,
                                      const std::vector<std::int16_t>& in) {
    const double inputScale = std::bit_cast<double>(0x3F00000000000000ULL);
    const double centre = std::bit_cast<double>(0x3F9999999999999AULL);
    const double depthFactor = std::bit_cast<double>(0x3F847AE147AE147BULL);
    const double phaseFactor = std::bit_cast<double>(0x3FE41B2F76A2B814ULL);
    const double gain = std::bit_cast<double>(0x3FE45F306DC3EDC5ULL);
    const double outputScale = 32767.0;

    std::vector<double> ring(2000, 0.0);
    int writePos = 0;
    int lfo = 0;
    const double rate = sampleRate;
    const double baseDelay = rate * centre;
    const double depth = rate * depthFactor;
    std::vector<std::int16_t> out;
    out.reserve(in.size());
    for (const std::int16_t s : in) {
        ring[static_cast<std::size_t>(writePos)] = s * inputScale;
        const double theta = (lfo * phaseFactor) / rate;
        const int d = static_cast<int>(depth * std::sin(theta) + baseDelay);
        const int r = (writePos - d + 2000) % 2000;
        const double y =
            ring[static_cast<std::size_t>(r)] + ring[static_cast<std::size_t>(writePos)];
        lfo = (lfo + 1) % (10 * sampleRate);
        const double z = std::atan(y) * gain;
        out.push_back(static_cast<std::int16_t>(static_cast<int>(z * outputScale)));
        writePos = (writePos + 1) % 2000;
    }
    return out;
}

} // namespace hardening
