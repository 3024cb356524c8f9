#include "DirectChorus.h"

#include <cmath>

namespace direct {

std::int32_t delayAt(std::int32_t sampleRate, std::int32_t lfoCounter) {
    const double rate = sampleRate;
    const double theta = (static_cast<double>(lfoCounter) * kPhaseFactor) / rate;
    return static_cast<std::int32_t>(rate * kDepthFactor * std::sin(theta) + rate * kCentreFactor);
}

std::int16_t limit(std::int16_t a, std::int16_t b) {
    const double y = static_cast<double>(a) * kInputScale + static_cast<double>(b) * kInputScale;
    const double z = std::atan(y) * kLimiterGain;
    return static_cast<std::int16_t>(static_cast<std::int32_t>(z * kOutputScale));
}

std::int16_t Chorus::process(std::int16_t s) {
    history_.push_back(s);
    const auto n = static_cast<std::int64_t>(history_.size()) - 1;
    const std::int64_t back = n - delayAt(rate_, lfoCounter_);
    const std::int16_t tap = back >= 0 ? history_[static_cast<std::size_t>(back)] : 0;
    lfoCounter_ = (lfoCounter_ + 1) % (10 * rate_);
    return limit(tap, s);
}

std::vector<std::uint8_t> streamOutput(const std::vector<std::uint8_t>& samples,
                                       std::uint16_t channels, std::int32_t sampleRate,
                                       std::uint32_t sampleNumber) {
    Chorus chorus(sampleRate);
    std::vector<std::uint8_t> out;
    std::size_t pos = 0;
    const auto read = [&](std::int16_t& v) {
        if (samples.size() - pos < 2) {
            return false;
        }
        v = static_cast<std::int16_t>(samples[pos] | samples[pos + 1] << 8U);
        pos += 2;
        return true;
    };
    const auto write = [&](std::int16_t v) {
        out.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(v)));
        out.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(v) >> 8U));
    };
    for (std::uint64_t i = 0;; ++i) {
        std::int16_t s = 0;
        if (!read(s)) {
            if (i >= sampleNumber) {
                break;
            }
            s = 0;
        }
        const std::int16_t v = chorus.process(s);
        write(v);
        if (channels == 2) {
            std::int16_t second = 0;
            if (!read(second)) {
                break;
            }
            write(v);
        }
    }
    return out;
}

} // namespace direct
