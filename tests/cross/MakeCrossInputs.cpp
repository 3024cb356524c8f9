// make_cross_inputs DIR NAME...: writes the named test inputs into DIR as
// NAME.wav. Deterministic integer code, so every build makes the same bytes.
// make_cross_inputs --list: prints the names it knows.
//
// The set covers a whole oscillator cycle at each common rate with noise (a
// changed delay changes the output), every 16-bit value (a sawtooth), the
// extremes of the limiter, a rate whose ring is longer than 2000, and the
// loop's edge cases: silence for missing frames, bytes after the data, a last
// frame without its second value, four channels as one stream.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum class Signal { noise, saw, extremes };

struct InputSpec {
    const char* name;
    std::uint16_t channels;
    std::int32_t sampleRate;
    std::uint32_t framesDeclared;
    std::uint32_t valuesPresent; // 16-bit values after the header
    std::uint32_t extraBytes;    // bytes after the values (a chunk, an odd byte)
    Signal signal;
};

// Each cycle is 10 x the rate in frames; each noise input runs a little past one.
constexpr InputSpec kInputs[] = {
    {"noise-8000-mono", 1, 8000, 81000, 81000, 0, Signal::noise},
    {"noise-22050-mono", 1, 22050, 221000, 221000, 0, Signal::noise},
    {"noise-44100-stereo", 2, 44100, 442000, 884000, 0, Signal::noise},
    {"noise-48000-mono", 1, 48000, 481000, 481000, 0, Signal::noise},
    {"noise-96000-mono", 1, 96000, 961000, 961000, 0, Signal::noise},
    {"saw-44100-mono", 1, 44100, 131072, 131072, 0, Signal::saw},
    {"extremes-11025-stereo", 2, 11025, 30000, 60000, 0, Signal::extremes},
    {"noise-16000-quad", 4, 16000, 20000, 80000, 0, Signal::noise},
    {"short-48000-stereo", 2, 48000, 3000, 3600, 0, Signal::noise},
    {"trailing-chunk-32000-mono", 1, 32000, 1000, 1000, 13, Signal::noise},
    {"odd-end-22050-stereo", 2, 22050, 1000, 1999, 0, Signal::noise},
};

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8U));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFFU);
    put16(out, v >> 16U);
}

std::vector<std::uint8_t> makeInput(const InputSpec& wav) {
    const std::uint32_t dataBytes = wav.framesDeclared * wav.channels * 2U;
    std::vector<std::uint8_t> out;
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    put32(out, dataBytes + 36U);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(out, 16U);
    put16(out, 1U);
    put16(out, wav.channels);
    put32(out, static_cast<std::uint32_t>(wav.sampleRate));
    put32(out, static_cast<std::uint32_t>(wav.sampleRate) * wav.channels * 2U);
    put16(out, wav.channels * 2U);
    put16(out, 16U);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put32(out, dataBytes);

    std::uint32_t seed = 0x2545F491U ^ static_cast<std::uint32_t>(wav.sampleRate);
    for (std::uint32_t k = 0; k < wav.valuesPresent; ++k) {
        std::uint32_t v = 0;
        switch (wav.signal) {
        case Signal::noise:
            seed = seed * 1664525U + 1013904223U;
            v = seed >> 16U;
            break;
        case Signal::saw:
            v = (k * 1U + 0x8000U) & 0xFFFFU; // -32768 up to 32767, then again
            break;
        case Signal::extremes: {
            // Full-scale square waves of a few lengths: both ends of the limiter,
            // with the tap reading the same or the opposite extreme.
            const std::uint32_t period = 2U + (k / 997U) % 700U;
            v = ((k / period) % 2U == 0U) ? 0x7FFFU : 0x8000U;
            break;
        }
        }
        put16(out, v);
    }
    // A further chunk, or a last odd byte, after the data.
    for (std::uint32_t k = 0; k < wav.extraBytes; ++k) {
        out.push_back(static_cast<std::uint8_t>(0xA5U + 7U * k));
    }
    return out;
}

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::perror(path.c_str());
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "make_cross_inputs: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
        for (const InputSpec& wav : kInputs) {
            std::printf("%s\n", wav.name);
        }
        return 0;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_cross_inputs DIR NAME...\n");
        return 2;
    }
    for (int a = 2; a < argc; ++a) {
        const InputSpec* found = nullptr;
        for (const InputSpec& wav : kInputs) {
            if (std::strcmp(wav.name, argv[a]) == 0) {
                found = &wav;
            }
        }
        if (found == nullptr) {
            std::fprintf(stderr, "make_cross_inputs: no input named %s\n", argv[a]);
            return 1;
        }
        if (!writeFile(std::string(argv[1]) + "/" + argv[a] + ".wav", makeInput(*found))) {
            return 1;
        }
    }
    return 0;
}
