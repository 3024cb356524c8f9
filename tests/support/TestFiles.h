// Files for tests: a temporary directory, WAV inputs built byte by byte, and
// helpers to read what the library wrote.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

using Bytes = std::vector<std::uint8_t>;

// A fresh directory, removed with everything in it when the object goes away.
class TempDir {
  public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

Bytes readBytes(const std::filesystem::path& p);
void writeBytes(const std::filesystem::path& p, const Bytes& b);

// Every regular file below dir with its contents, for "left as it was" checks.
std::map<std::string, Bytes> snapshot(const std::filesystem::path& dir);

// A canonical 44-byte 16-bit PCM header followed by the samples. dataBytes is
// what the header declares (by default the samples' size); trailing bytes go
// after the samples.
struct WavSpec {
    std::uint16_t channels = 1;
    std::int32_t sampleRate = 44100;
    std::vector<std::int16_t> samples;
    bool declareDataBytes = false;
    std::uint32_t dataBytes = 0;
    Bytes trailing;
};
Bytes makeWav(const WavSpec& wav);

// Deterministic test signal: a swept tone with noise, reaching full scale.
std::vector<std::int16_t> testSignal(std::size_t count, std::uint32_t seed);

// UTF-16 form of a UTF-8 path, for calling the library.
std::u16string toU16(const std::string& utf8);

std::uint32_t le32(const Bytes& b, std::size_t at);
std::uint16_t le16(const Bytes& b, std::size_t at);

} // namespace testing_support
