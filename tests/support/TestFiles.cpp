#include "TestFiles.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testing_support {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "wavchorus-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

Bytes readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + p.string());
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& p, const Bytes& b) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + p.string());
    }
}

std::map<std::string, Bytes> snapshot(const fs::path& dir) {
    std::map<std::string, Bytes> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const std::string name = fs::relative(entry.path(), dir).string();
        files[name] = entry.is_regular_file() ? readBytes(entry.path()) : Bytes{};
    }
    return files;
}

namespace {
void put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8U));
}
void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFFU);
    put16(b, v >> 16U);
}
void putTag(Bytes& b, const char* tag) {
    for (int i = 0; i < 4; ++i) {
        b.push_back(static_cast<std::uint8_t>(tag[i]));
    }
}
} // namespace

Bytes makeWav(const WavSpec& wav) {
    const auto sampleBytes = static_cast<std::uint32_t>(wav.samples.size() * 2);
    const std::uint32_t dataBytes = wav.declareDataBytes ? wav.dataBytes : sampleBytes;
    Bytes b;
    putTag(b, "RIFF");
    put32(b, dataBytes + 36U);
    putTag(b, "WAVE");
    putTag(b, "fmt ");
    put32(b, 16);
    put16(b, 1);
    put16(b, wav.channels);
    put32(b, static_cast<std::uint32_t>(wav.sampleRate));
    put32(b, static_cast<std::uint32_t>(wav.sampleRate) * wav.channels * 2U);
    put16(b, wav.channels * 2U);
    put16(b, 16);
    putTag(b, "data");
    put32(b, dataBytes);
    for (const std::int16_t s : wav.samples) {
        put16(b, static_cast<std::uint16_t>(s));
    }
    b.insert(b.end(), wav.trailing.begin(), wav.trailing.end());
    return b;
}

std::vector<std::int16_t> testSignal(std::size_t count, std::uint32_t seed) {
    std::vector<std::int16_t> out(count);
    std::uint32_t state = seed;
    for (std::size_t n = 0; n < count; ++n) {
        state = state * 1664525U + 1013904223U;
        const double noise = static_cast<double>(state >> 16U) / 65536.0 - 0.5;
        const double tone =
            std::sin(static_cast<double>(n) * 0.01 + 1e-6 * static_cast<double>(n * n % 100003));
        double v = 36000.0 * tone + 8000.0 * noise; // clips now and then, to reach both ends
        v = v > 32767.0 ? 32767.0 : (v < -32768.0 ? -32768.0 : v);
        out[n] = static_cast<std::int16_t>(v);
    }
    return out;
}

std::u16string toU16(const std::string& utf8) {
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const std::size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t c = len == 1 ? b : len == 2 ? (b & 0x1FU) : len == 3 ? (b & 0x0FU) : (b & 0x07U);
        for (std::size_t k = 1; k < len; ++k) {
            c = (c << 6U) | (static_cast<unsigned char>(utf8[i + k]) & 0x3FU);
        }
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10U)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FFU)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += len;
    }
    return out;
}

std::uint32_t le32(const Bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8U |
           static_cast<std::uint32_t>(b[at + 2]) << 16U |
           static_cast<std::uint32_t>(b[at + 3]) << 24U;
}

std::uint16_t le16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8U);
}

} // namespace testing_support
