#include "ReferenceChorus.h"

#include <cmath>
#include <cstdio>

namespace testing_support {
namespace {

const double kPi = 3.1415926538; // the value the effect's constants are built on

void put(Bytes& b, std::uint32_t v, int width) {
    for (int i = 0; i < width; ++i) {
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
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

} // namespace

std::int16_t referenceMix(std::int16_t dry, std::int16_t delayed) {
    return quantise(static_cast<double>(delayed) / 32768.0 + static_cast<double>(dry) / 32768.0);
}

ModelResult referenceChorus(const Bytes& input) {
    const unsigned channels = le16(input, 22);
    const auto rate = static_cast<int>(le32(input, 24));
    const std::uint32_t dataBytes = le32(input, 40);
    const std::uint32_t frames = (dataBytes / 2) / channels;
    const std::uint32_t outData = frames * channels * 2;

    ModelResult result;
    Bytes& out = result.output;
    for (const char c : std::string("RIFF")) {
        out.push_back(static_cast<std::uint8_t>(c));
    }
    put(out, outData + 36, 4);
    for (const char c : std::string("WAVEfmt ")) {
        out.push_back(static_cast<std::uint8_t>(c));
    }
    put(out, 16, 4);
    put(out, 1, 2);
    put(out, channels, 2);
    put(out, static_cast<std::uint32_t>(rate), 4);
    put(out, channels * static_cast<std::uint32_t>(rate) * 2, 4);
    put(out, channels * 2, 2);
    put(out, 16, 2);
    for (const char c : std::string("data")) {
        out.push_back(static_cast<std::uint8_t>(c));
    }
    put(out, outData, 4);
    result.report = reportHalf("Wave data is", channels, rate, frames) +
                    reportHalf("\nOutput WAVE data is", channels, rate, frames);

    const std::size_t valueCount = (input.size() - 44) / 2;
    std::size_t next = 0; // index of the next input value
    std::vector<double> history;
    int lfo = 0;
    const double base = rate * 0.025;
    const double depth = rate * 0.01;
    const auto emit = [&](std::int16_t v) { put(out, static_cast<std::uint16_t>(v), 2); };

    for (std::uint64_t frame = 0;; ++frame) {
        std::int16_t s = 0;
        if (next < valueCount) {
            s = static_cast<std::int16_t>(le16(input, 44 + 2 * next++));
        } else if (frame >= frames) {
            break;
        }
        const double x = s / 32768.0;
        history.push_back(x);
        const double theta = (static_cast<double>(lfo) * (2.0 * kPi * 0.1)) / rate;
        const auto d = static_cast<std::size_t>(static_cast<int>(depth * std::sin(theta) + base));
        const std::size_t n = history.size() - 1;
        const double delayed = n >= d ? history[n - d] : 0.0;
        lfo = (lfo + 1) % (10 * rate);
        const std::int16_t v = quantise(delayed + x);
        emit(v);
        if (channels == 2) {
            if (next >= valueCount) {
                break; // the frame's second value is missing
            }
            ++next;
            emit(v);
        }
    }
    return result;
}

} // namespace testing_support
