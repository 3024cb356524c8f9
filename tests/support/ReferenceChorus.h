// The one independent, straightforward model of the chorus, written from the
// description of the effect rather than from the library's code: its constants
// come from their decimal formulas, the tap reads the value d frames back in a
// history of the input rather than in a ring, and every value takes a sine and an
// arctangent. The engine tests compare it value by value, the whole-file and
// hardening tests output by output, and the benchmark's baseline is this model
// behind the library's entry point.
//
// Needs no test framework: the benchmark builds it as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

using Bytes = std::vector<std::uint8_t>;

// The truncated delay at one oscillator frame.
std::int32_t referenceDelay(std::int32_t sampleRate, std::int32_t lfoCounter);

// One value through the limiter and quantiser, given the dry and the delayed
// sample.
std::int16_t referenceMix(std::int16_t dry, std::int16_t delayed);

// The chorus value by value: each call is the next frame.
class ReferenceChorus {
  public:
    explicit ReferenceChorus(std::int32_t sampleRate);
    std::int16_t process(std::int16_t s);

  private:
    std::int32_t rate_;
    std::int32_t lfoCounter_ = 0;
    std::uint64_t seen_ = 0;    // values processed, the current one included
    std::uint64_t dropped_ = 0; // values no longer kept, from the first on
    std::size_t keep_;          // values kept at least: a second's worth, far past any delay
    std::vector<double> history_;
};

// The streaming loop as defined, value by value: read(s) gives the next 16-bit
// value of the input or false at its end; write(v) writes one output value, or
// returns false when it cannot, which ends the loop with false.
template <class Read, class Write>
bool referenceLoop(std::uint16_t channels, std::int32_t sampleRate, std::uint32_t sampleNumber,
                   Read&& read, Write&& write) {
    ReferenceChorus chorus(sampleRate);
    for (std::uint64_t i = 0;; ++i) {
        std::int16_t s = 0;
        if (!read(s)) {
            if (i >= sampleNumber) {
                return true;
            }
            s = 0; // silence up to the declared count
        }
        const std::int16_t v = chorus.process(s);
        if (!write(v)) {
            return false;
        }
        if (channels == 2) {
            std::int16_t second = 0;
            if (!read(second)) {
                return true; // the frame's second value is missing
            }
            if (!write(v)) {
                return false;
            }
        }
    }
}

// What the loop writes for the bytes from byte 44 of an input, little-endian.
Bytes referenceStream(const Bytes& samples, std::uint16_t channels, std::int32_t sampleRate,
                      std::uint32_t sampleNumber);

// A mono stream at the given rate through the chorus, with nothing declared
// beyond what it holds.
std::vector<std::int16_t> referenceValues(std::int32_t sampleRate,
                                          const std::vector<std::int16_t>& in);

// The values the header gives, from the first 44 bytes of an input.
struct ReferenceFormat {
    std::uint16_t channels = 0;
    std::int32_t sampleRate = 0;
    std::uint32_t dataBytes = 0;
    std::uint32_t frames = 0; // 0 when channels is 0
};
ReferenceFormat referenceFormat(const std::uint8_t* header);

// The 44-byte output header, and the two halves of the report.
Bytes referenceHeader(const ReferenceFormat& f);
std::string referenceInputReport(const ReferenceFormat& f);
std::string referenceOutputReport(const ReferenceFormat& f);

struct ModelResult {
    Bytes output;
    std::string report;
};

// The whole call, from the input file's bytes to the output file's bytes and the
// report. The input must hold a 44-byte header with channels > 0 and a rate > 0.
ModelResult referenceChorus(const Bytes& input);

} // namespace testing_support
