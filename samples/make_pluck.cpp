// Writes the bundled sample: a strummed C major chord of plucked strings
// (Karplus-Strong), 3 seconds, 44,100 Hz, 16-bit stereo, canonical 44-byte header.
// Deterministic: integer noise and plain double arithmetic, no library maths.
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kFrames = 3 * kRate;

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8U));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFFU);
    put16(out, v >> 16U);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_pluck OUT.wav\n");
        return 2;
    }
    // Delay-line lengths in samples for C3 E3 G3 C4 E4 G4 at 44.1 kHz.
    const int periods[] = {337, 268, 225, 169, 134, 113};
    const double pans[] = {0.2, 0.35, 0.5, 0.65, 0.8, 0.5};
    std::vector<double> left(kFrames, 0.0);
    std::vector<double> right(kFrames, 0.0);
    std::uint32_t seed = 12345;
    for (int n = 0; n < 6; ++n) {
        const int start = n * 1500; // a strum, about 34 ms per string
        std::vector<double> line(static_cast<std::size_t>(periods[n]));
        for (double& v : line) {
            seed = seed * 1664525U + 1013904223U;
            v = static_cast<double>(seed >> 8U) / 8388608.0 - 1.0;
        }
        std::size_t pos = 0;
        for (int t = start; t < kFrames; ++t) {
            const std::size_t next = (pos + 1) % line.size();
            const double out = line[pos];
            line[pos] = 0.4985 * (line[pos] + line[next]);
            pos = next;
            left[static_cast<std::size_t>(t)] += out * (1.0 - pans[n]);
            right[static_cast<std::size_t>(t)] += out * pans[n];
        }
    }
    double peak = 0.0;
    for (int t = 0; t < kFrames; ++t) {
        const double l = left[static_cast<std::size_t>(t)];
        const double r = right[static_cast<std::size_t>(t)];
        peak = l > peak ? l : (-l > peak ? -l : peak);
        peak = r > peak ? r : (-r > peak ? -r : peak);
    }
    const double gain = 0.7 * 32767.0 / peak;

    const std::uint32_t dataBytes = kFrames * 4U;
    std::vector<std::uint8_t> file;
    for (const char c : {'R', 'I', 'F', 'F'}) {
        file.push_back(static_cast<std::uint8_t>(c));
    }
    put32(file, dataBytes + 36U);
    for (const char c : {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}) {
        file.push_back(static_cast<std::uint8_t>(c));
    }
    put32(file, 16);
    put16(file, 1);
    put16(file, 2);
    put32(file, kRate);
    put32(file, kRate * 4U);
    put16(file, 4);
    put16(file, 16);
    for (const char c : {'d', 'a', 't', 'a'}) {
        file.push_back(static_cast<std::uint8_t>(c));
    }
    put32(file, dataBytes);
    for (int t = 0; t < kFrames; ++t) {
        put16(file, static_cast<std::uint16_t>(
                        static_cast<std::int16_t>(left[static_cast<std::size_t>(t)] * gain)));
        put16(file, static_cast<std::uint16_t>(
                        static_cast<std::int16_t>(right[static_cast<std::size_t>(t)] * gain)));
    }

    std::FILE* f = std::fopen(argv[1], "wb");
    if (f == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "make_pluck: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
