// Writes the fuzzer's seed corpus into a directory: canonical WAV files of every
// channel layout the library treats differently, files that end early or run
// on, and headers mutated at the three fields the library reads.
//   make_fuzz_corpus DIR
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void put(Bytes& b, std::size_t at, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

void append(Bytes& b, const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        b.push_back(static_cast<std::uint8_t>(*p));
    }
}

// A canonical 44-byte 16-bit PCM header.
Bytes header(std::uint16_t channels, std::uint32_t rate, std::uint32_t dataBytes) {
    Bytes h(44, 0);
    const char* tags[] = {"RIFF", "WAVE", "fmt ", "data"};
    const std::size_t at[] = {0, 8, 12, 36};
    for (int k = 0; k < 4; ++k) {
        for (std::size_t i = 0; i < 4; ++i) {
            h[at[k] + i] = static_cast<std::uint8_t>(tags[k][i]);
        }
    }
    put(h, 4, std::uint64_t{dataBytes} + 36, 4);
    put(h, 16, 16, 4);
    put(h, 20, 1, 2);
    put(h, 22, channels, 2);
    put(h, 24, rate, 4);
    put(h, 28, std::uint64_t{channels} * rate * 2, 4);
    put(h, 32, std::uint64_t{channels} * 2, 2);
    put(h, 34, 16, 2);
    put(h, 40, dataBytes, 4);
    return h;
}

// values 16-bit samples of a sine, with full-scale extremes mixed in.
void appendSamples(Bytes& b, std::size_t values, unsigned seed) {
    for (std::size_t i = 0; i < values; ++i) {
        auto v =
            static_cast<std::int32_t>(20000.0 * std::sin(0.05 * static_cast<double>(i + seed)));
        if ((i + seed) % 97 == 0) {
            v = (i % 2 == 0) ? 32767 : -32768;
        }
        const auto u = static_cast<std::uint16_t>(v);
        b.push_back(static_cast<std::uint8_t>(u));
        b.push_back(static_cast<std::uint8_t>(u >> 8U));
    }
}

Bytes wav(std::uint16_t channels, std::uint32_t rate, std::size_t values, unsigned seed = 0) {
    Bytes b = header(channels, rate, static_cast<std::uint32_t>(2 * values));
    appendSamples(b, values, seed);
    return b;
}

struct Corpus {
    std::string dir;
    int count = 0;
    bool ok = true;

    void add(const std::string& name, const Bytes& b) {
        const std::string path = dir + "/" + name;
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
        f.close();
        if (!f) {
            std::fprintf(stderr, "make_fuzz_corpus: cannot write %s\n", path.c_str());
            ok = false;
        }
        ++count;
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_corpus DIR\n");
        return 2;
    }
    std::error_code ec;
    std::filesystem::create_directories(argv[1], ec);
    if (ec) {
        std::fprintf(stderr, "make_fuzz_corpus: cannot create %s: %s\n", argv[1],
                     ec.message().c_str());
        return 1;
    }
    Corpus c{argv[1]};

    // Canonical files: mono and stereo at the usual rates, and rates around the
    // points where the delay reaches the ring's default size.
    for (const std::uint32_t rate :
         {8000U, 22050U, 44100U, 48000U, 57142U, 57143U, 57172U, 96000U, 768000U, 1U}) {
        c.add("mono-" + std::to_string(rate), wav(1, rate, 600, rate));
        c.add("stereo-" + std::to_string(rate), wav(2, rate, 1200, rate));
    }
    for (const unsigned ch : {3U, 4U, 6U, 8U, 255U, 65535U}) {
        c.add("channels-" + std::to_string(ch),
              wav(static_cast<std::uint16_t>(ch), 44100, 1024, ch));
    }
    c.add("empty-data", wav(2, 44100, 0));
    c.add("one-frame", wav(2, 44100, 2));

    // Short files: every header prefix that stops at a field the library reads.
    const Bytes full = wav(1, 44100, 8);
    for (const std::size_t n : {0U, 1U, 22U, 23U, 24U, 27U, 40U, 43U}) {
        c.add("prefix-" + std::to_string(n),
              Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n)));
    }

    // Files that end early or run on.
    Bytes odd = wav(1, 44100, 100);
    odd.push_back(0x7F);
    c.add("odd-last-byte", odd);
    Bytes shortMono = header(1, 44100, 2000);
    appendSamples(shortMono, 600, 3);
    c.add("declares-more-mono", shortMono);
    Bytes shortStereo = header(2, 44100, 4000);
    appendSamples(shortStereo, 600, 4);
    c.add("declares-more-stereo", shortStereo);
    Bytes halfFrame = header(2, 44100, 4000);
    appendSamples(halfFrame, 601, 5);
    c.add("stereo-half-frame", halfFrame);
    Bytes trailing = wav(1, 44100, 200);
    append(trailing, "LIST");
    trailing.insert(trailing.end(), {4, 0, 0, 0, 'I', 'N', 'F', 'O'});
    c.add("chunk-after-data", trailing);

    // Non-canonical layouts read at the fixed offsets all the same.
    Bytes fmt18 = wav(2, 44100, 400);
    put(fmt18, 16, 18, 4);
    c.add("fmt-18", fmt18);
    for (const unsigned tag : {3U, 0xFFFEU}) {
        Bytes b = wav(1, 44100, 300);
        put(b, 20, tag, 2);
        c.add("format-" + std::to_string(tag), b);
    }
    Bytes bits8 = wav(1, 8000, 300);
    put(bits8, 34, 8, 2);
    c.add("bits-8", bits8);

    // Hostile fields.
    for (const std::uint32_t rate :
         {0U, 0xFFFFFFFFU, 0xFFFF5344U /* -44100 */, 0x80000000U, 0x7FFFFFFFU, 768000U, 768001U}) {
        c.add("rate-" + std::to_string(rate), wav(2, rate, 200));
    }
    c.add("channels-0", wav(0, 44100, 200));
    for (const std::uint32_t dataBytes : {0U, 1U, 3U, 0xFFFFFFFFU, 0xFFFFFFFEU, 0x80000000U}) {
        Bytes b = header(1, 44100, dataBytes);
        appendSamples(b, 100, 6);
        c.add("databytes-" + std::to_string(dataBytes), b);
        Bytes s = header(2, 44100, dataBytes);
        appendSamples(s, 100, 7);
        c.add("stereo-databytes-" + std::to_string(dataBytes), s);
    }
    // Products that wrap in 32 bits: the byte rate, the block alignment and,
    // with many channels, the output data size.
    c.add("wrap-65535x768000", wav(65535, 768000, 300));
    c.add("wrap-3000x768000", wav(3000, 768000, 300));
    Bytes manyDeclared = header(65535, 48000, 0xFFFFFFFFU);
    appendSamples(manyDeclared, 64, 8);
    c.add("wrap-65535-declared", manyDeclared);

    std::printf("make_fuzz_corpus: %d seeds in %s\n", c.count, c.dir.c_str());
    return c.ok ? 0 : 1;
}
