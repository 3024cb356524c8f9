// make_bench_wav OUT.wav FRAMES [RATE [CHANNELS]]: writes a canonical 16-bit PCM
// WAV file of FRAMES frames (default 44,100 Hz, two channels) for the benchmark:
// three tones and some noise, peaking near half of full scale, the same bytes on
// every run.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void put16(std::vector<std::uint8_t>& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8U));
}

void put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    put16(b, v & 0xFFFFU);
    put16(b, v >> 16U);
}

bool parse(const char* text, unsigned long long max, unsigned long long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= 1 && value <= max;
}

} // namespace

int main(int argc, char** argv) {
    unsigned long long frames = 0;
    unsigned long long rate = 44100;
    unsigned long long channels = 2;
    if (argc < 3 || argc > 5 || !parse(argv[2], 0xFFFFFFFFULL, frames) ||
        (argc > 3 && !parse(argv[3], 768000, rate)) ||
        (argc > 4 && !parse(argv[4], 16, channels))) {
        std::fprintf(stderr, "Usage: make_bench_wav OUT.wav FRAMES [RATE [CHANNELS]]\n");
        return 2;
    }
    const unsigned long long dataBytes = frames * channels * 2;
    if (dataBytes > 0xFFFFFFFFULL - 36) {
        std::fprintf(stderr, "make_bench_wav: %llu frames do not fit a WAV file\n", frames);
        return 2;
    }
    std::vector<std::uint8_t> header;
    header.insert(header.end(), {'R', 'I', 'F', 'F'});
    put32(header, static_cast<std::uint32_t>(dataBytes + 36));
    header.insert(header.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(header, 16);
    put16(header, 1);
    put16(header, static_cast<std::uint32_t>(channels));
    put32(header, static_cast<std::uint32_t>(rate));
    put32(header, static_cast<std::uint32_t>(rate * channels * 2));
    put16(header, static_cast<std::uint32_t>(channels * 2));
    put16(header, 16);
    header.insert(header.end(), {'d', 'a', 't', 'a'});
    put32(header, static_cast<std::uint32_t>(dataBytes));

    std::FILE* f = std::fopen(argv[1], "wb");
    if (f == nullptr) {
        std::fprintf(stderr, "make_bench_wav: cannot create %s: %s\n", argv[1],
                     std::strerror(errno));
        return 1;
    }
    bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();
    // Tones from a sine table with 32-bit phase accumulators: quick enough to
    // write an hour of audio in a few seconds.
    std::vector<double> table(4096);
    for (std::size_t k = 0; k < table.size(); ++k) {
        table[k] = std::sin(2.0 * 3.141592653589793 * static_cast<double>(k) / 4096.0);
    }
    const auto increment = [rate](double hz) {
        return static_cast<std::uint32_t>(hz / static_cast<double>(rate) * 4294967296.0);
    };
    const std::uint32_t steps[3] = {increment(220.0), increment(331.0), increment(441.5)};
    std::uint32_t phases[3] = {0, 0, 0};
    std::uint32_t noise = 0x12345678U;
    std::vector<std::uint8_t> block;
    for (unsigned long long n = 0; ok && n < frames; ++n) {
        for (int t = 0; t < 3; ++t) {
            phases[t] += steps[t];
        }
        const double tone = 5000.0 * table[phases[0] >> 20U] + 4000.0 * table[phases[1] >> 20U] +
                            3000.0 * table[phases[2] >> 20U];
        for (unsigned long long c = 0; c < channels; ++c) {
            noise = noise * 1664525U + 1013904223U;
            const double v = tone + static_cast<double>(noise >> 20U) - 2048.0;
            put16(block, static_cast<std::uint16_t>(static_cast<std::int16_t>(v)));
        }
        if (block.size() >= 1 << 16 || n + 1 == frames) {
            ok = std::fwrite(block.data(), 1, block.size(), f) == block.size();
            block.clear();
        }
    }
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "make_bench_wav: cannot write %s\n", argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
