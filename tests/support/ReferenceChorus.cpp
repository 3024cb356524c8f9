#include "ReferenceChorus.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace testing_support {
namespace {

const double kPi = 3.1415926538; // the value the effect's constants are built on

void put(Bytes& b, std::uint32_t v, int width) {
    for (int i = 0; i < width; ++i) {
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

std::uint32_t get(const std::uint8_t* p, int width) {
    std::uint32_t v = 0;
    for (int i = width - 1; i >= 0; --i) {
        v = v << 8U | p[i];
    }
    return v;
}

std::int16_t quantise(double y) {
    const double z = std::atan(y) * (2.0 / kPi);
    return static_cast<std::int16_t>(static_cast<int>(z * 32767.0));
}

std::string reportHalf(const char* title, unsigned channels, int rate, std::uint32_t frames) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "%s\nChannel       = %d ch\nSample rate   = %d Hz \nSample number = %d\n", title,
                  static_cast<int>(channels), rate, static_cast<int>(frames));
    return text;
}

std::uint32_t outputDataBytes(const ReferenceFormat& f) {
    return f.frames * f.channels * 2U;
}

} // namespace

std::int32_t referenceDelay(std::int32_t sampleRate, std::int32_t lfoCounter) {
    const double rate = sampleRate;
    const double theta = (static_cast<double>(lfoCounter) * (2.0 * kPi * 0.1)) / rate;
    return static_cast<std::int32_t>(rate * 0.01 * std::sin(theta) + rate * 0.025);
}

std::int16_t referenceMix(std::int16_t dry, std::int16_t delayed) {
    return quantise(static_cast<double>(delayed) / 32768.0 + static_cast<double>(dry) / 32768.0);
}

ReferenceChorus::ReferenceChorus(std::int32_t sampleRate)
    : rate_(sampleRate), keep_(static_cast<std::size_t>(std::max(sampleRate, 1))) {}

std::int16_t ReferenceChorus::process(std::int16_t s) {
    const double x = s / 32768.0;
    history_.push_back(x);
    ++seen_;
    const std::int32_t d = referenceDelay(rate_, lfoCounter_);
    lfoCounter_ = (lfoCounter_ + 1) % (10 * rate_);
    const std::uint64_t current = seen_ - 1;
    double delayed = 0.0; // before the first value
    if (current >= static_cast<std::uint64_t>(d)) {
        const std::uint64_t back = current - static_cast<std::uint64_t>(d);
        if (back < dropped_) {
            throw std::logic_error("the model's history is shorter than the delay");
        }
        delayed = history_[static_cast<std::size_t>(back - dropped_)];
    }
    const std::int16_t v = quantise(delayed + x);
    // Only the last second is kept, so that the model takes files of any length.
    if (history_.size() >= 2 * keep_) {
        const std::size_t drop = history_.size() - keep_;
        history_.erase(history_.begin(), history_.begin() + static_cast<std::ptrdiff_t>(drop));
        dropped_ += drop;
    }
    return v;
}

Bytes referenceStream(const Bytes& samples, std::uint16_t channels, std::int32_t sampleRate,
                      std::uint32_t sampleNumber) {
    Bytes out;
    std::size_t pos = 0;
    referenceLoop(
        channels, sampleRate, sampleNumber,
        [&](std::int16_t& v) {
            if (samples.size() - pos < 2) {
                return false; // a last odd byte is not a value
            }
            v = static_cast<std::int16_t>(get(samples.data() + pos, 2));
            pos += 2;
            return true;
        },
        [&](std::int16_t v) {
            put(out, static_cast<std::uint16_t>(v), 2);
            return true;
        });
    return out;
}

std::vector<std::int16_t> referenceValues(std::int32_t sampleRate,
                                          const std::vector<std::int16_t>& in) {
    ReferenceChorus chorus(sampleRate);
    std::vector<std::int16_t> out;
    out.reserve(in.size());
    for (const std::int16_t s : in) {
        out.push_back(chorus.process(s));
    }
    return out;
}

ReferenceFormat referenceFormat(const std::uint8_t* header) {
    ReferenceFormat f;
    f.channels = static_cast<std::uint16_t>(get(header + 22, 2));
    f.sampleRate = static_cast<std::int32_t>(get(header + 24, 4));
    f.dataBytes = get(header + 40, 4);
    f.frames = f.channels == 0 ? 0 : (f.dataBytes / 2) / f.channels;
    return f;
}

Bytes referenceHeader(const ReferenceFormat& f) {
    const auto rate = static_cast<std::uint32_t>(f.sampleRate);
    const std::uint32_t outData = outputDataBytes(f);
    Bytes out;
    for (const char c : std::string("RIFF")) {
        out.push_back(static_cast<std::uint8_t>(c));
    }
    put(out, outData + 36, 4);
    for (const char c : std::string("WAVEfmt ")) {
        out.push_back(static_cast<std::uint8_t>(c));
    }
    put(out, 16, 4);
    put(out, 1, 2);
    put(out, f.channels, 2);
    put(out, rate, 4);
    put(out, f.channels * rate * 2, 4);
    put(out, f.channels * 2U, 2);
    put(out, 16, 2);
    for (const char c : std::string("data")) {
        out.push_back(static_cast<std::uint8_t>(c));
    }
    put(out, outData, 4);
    return out;
}

std::string referenceInputReport(const ReferenceFormat& f) {
    return reportHalf("Wave data is", f.channels, f.sampleRate, f.frames);
}

std::string referenceOutputReport(const ReferenceFormat& f) {
    return reportHalf("\nOutput WAVE data is", f.channels, f.sampleRate,
                      f.channels == 0 ? 0 : (outputDataBytes(f) / f.channels) >> 1U);
}

ModelResult referenceChorus(const Bytes& input) {
    const ReferenceFormat f = referenceFormat(input.data());
    ModelResult result;
    result.output = referenceHeader(f);
    result.report = referenceInputReport(f) + referenceOutputReport(f);
    const Bytes stream =
        referenceStream(Bytes(input.begin() + 44, input.end()), f.channels, f.sampleRate, f.frames);
    result.output.insert(result.output.end(), stream.begin(), stream.end());
    return result;
}

} // namespace testing_support
